// The player's proxy texts: which entry serves https, which hosts go direct.
#include "net/proxy/proxy_rules.h"

#include <gtest/gtest.h>

TEST(ProxyRules, TheEntryForTheScheme) {
    std::string hostPort, reason;
    // The https proxy of each list; "" is direct.
    for (auto [list, want] : std::initializer_list<std::pair<const char*, const char*>>{
             {"", ""},
             {"a.corp:3128", "a.corp:3128"},
             {"HTTP://A.corp:3128/", "A.corp:3128"},
             {"a.corp", "a.corp:80"},
             {"[::1]:8080", "[::1]:8080"},
             {"http=a:1;https=b:2", "b:2"},
             {"HTTPS=b:2 c:3", "b:2"},
             {"http=a:1;c:3;d:4", "c:3"},
             {"http=a:1;ftp=e:5", ""},
             {"https=", ""}}) {
        hostPort.clear();
        EXPECT_EQ(PickProxy(list, "https", hostPort, reason),
                  *want ? ProxyPick::Proxy : ProxyPick::Direct)
            << list;
        EXPECT_EQ(hostPort, want) << list;
    }
    for (const char* bad : {"b:0", "b:65536", "b:80x", ":80", "socks://b:1080", "b\xc3\xa9:80",
                            "[::1:80", "http://[/]", "[]:80"})
        EXPECT_EQ(PickProxy(bad, "https", hostPort, reason), ProxyPick::Malformed) << bad;
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
