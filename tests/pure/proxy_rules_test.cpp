// The player's proxy texts: which entry serves https, which hosts go direct.
#include "net/proxy_rules.h"

#include <gtest/gtest.h>

TEST(ProxyRules, TheEntryForTheScheme) {
    const struct {
        const char* list;
        ProxyPick pick;
        const char* hostPort;
    } cases[] = {
        {"", ProxyPick::Direct, ""},
        {"proxy.corp:3128", ProxyPick::Proxy, "proxy.corp:3128"},
        {"HTTP://Proxy.corp:3128/", ProxyPick::Proxy, "Proxy.corp:3128"},
        {"proxy.corp", ProxyPick::Proxy, "proxy.corp:80"},
        {"[::1]:8080", ProxyPick::Proxy, "[::1]:8080"},
        {"http=a:1;https=b:2", ProxyPick::Proxy, "b:2"},
        {"HTTPS=b:2 c:3", ProxyPick::Proxy, "b:2"}, // the scheme's entry before a plain one
        {"http=a:1;c:3;d:4", ProxyPick::Proxy, "c:3"},
        {"http=a:1;ftp=e:5", ProxyPick::Direct, ""},
        {"https=", ProxyPick::Direct, ""},
        {"b:0", ProxyPick::Malformed, ""},
        {"b:65536", ProxyPick::Malformed, ""},
        {"b:80x", ProxyPick::Malformed, ""},
        {":80", ProxyPick::Malformed, ""},
        {"socks://b:1080", ProxyPick::Malformed, ""},
        {"b\xc3\xa9:80", ProxyPick::Malformed, ""},
        {"[::1:80", ProxyPick::Malformed, ""},
        {"http://[/]", ProxyPick::Malformed, ""},
        {"[]:80", ProxyPick::Malformed, ""},
    };
    for (const auto& c : cases) {
        std::string hostPort, reason;
        EXPECT_EQ(PickProxy(c.list, "https", hostPort, reason), c.pick) << c.list;
        EXPECT_EQ(hostPort, c.hostPort) << c.list;
    }
}

TEST(ProxyRules, TheBypassList) {
    const char* list = "*.Corp.example; <local>;10.*;https://cdn.example.net ;;";
    for (const char* host :
         {"a.corp.example", "A.B.CORP.EXAMPLE", "intranet", "10.1.2.3", "cdn.example.net"})
        EXPECT_TRUE(BypassesProxy(list, host)) << host;
    for (const char* host : {"corp.example", "xcorp.example", "a.corp.example.org", "210.1.2.3",
                             "localhost.", "cdn.example.net.evil"})
        EXPECT_FALSE(BypassesProxy(list, host)) << host;
    EXPECT_FALSE(BypassesProxy("", "intranet"));
    EXPECT_TRUE(BypassesProxy("a*b*c", "aXXbYYbc"));
}

TEST(ProxyRules, EachServerItsOwnRoute) {
    EXPECT_EQ(ServerOfUrl("HTTPS://User@Host.Example/a?b")->Key(), "https://host.example:443");
    EXPECT_EQ(ServerOfUrl("https://h:8443/x@y")->Key(), "https://h:8443");
    EXPECT_EQ(ServerOfUrl("http://[::1]/")->Key(), "http://[::1]:80");
    for (const char* bad :
         {"", "host/path", "https://", "https://h:0/", "https://h:x/", "https://h p/"})
        EXPECT_FALSE(ServerOfUrl(bad)) << bad;
}
