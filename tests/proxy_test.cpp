// The route each fetch takes as the player's Windows proxy settings decide,
// through tests/support/connect_proxy.py's listeners. Each case is a run of
// its own (helpers\fetch.exe): the settings are read once per run.
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

const std::wstring kMirror = UPDATER_MIRROR_BASE_URL;
const std::wstring kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

void Set(const std::wstring& sub, const wchar_t* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (kKey + sub).c_str(), name, type, bytes.data(),
                              static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

// The current user's settings as Internet Options writes them; the test
// prefix has none of its own, so they are deleted afterwards.
struct ScopedProxySettings {
    ScopedProxySettings(const std::string& proxy, const std::string& bypass,
                        const std::string& script) {
        std::string blob;
        auto word = [&blob](size_t value) {
            blob.append(reinterpret_cast<const char*>(&value), 4);
        };
        // Version, change count, flags (direct; proxy 2, script 4), each text after its length.
        word(0x46), word(1), word(1 | (proxy.empty() ? 0 : 2) | (script.empty() ? 0 : 4));
        for (const std::string& text : {proxy, bypass, script})
            word(text.size()), blob += text;
        // Then the last automatic detection's data: none.
        Set(L"\\Connections", L"DefaultConnectionSettings", REG_BINARY, blob + std::string(32, 0));
        Set(L"", L"ProxyEnable", REG_DWORD, std::string{!proxy.empty(), 0, 0, 0});
        for (auto [name, text] : {std::pair(L"ProxyServer", proxy),
                                  {L"ProxyOverride", bypass},
                                  {L"AutoConfigURL", script}}) {
            std::string utf16;
            for (char c : text + '\0')
                utf16 += {c, '\0'};
            if (!text.empty())
                Set(L"", name, REG_SZ, utf16);
        }
    }
    ~ScopedProxySettings() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, (kKey + L"\\Connections").c_str(),
                           L"DefaultConnectionSettings");
        for (const wchar_t* name :
             {L"ProxyEnable", L"ProxyServer", L"ProxyOverride", L"AutoConfigURL"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey.c_str(), name);
    }
};

} // namespace

// A proxy that refuses, with no server behind it either: the player is told
// to look at the connection and the proxy settings.
TEST(ProxyTest, ARefusingProxyAndNoServerSendThePlayerToTheSettings) {
    ScopedWorkDir dir;
    ScopedProxySettings settings(
        "127.0.0.1:" + std::to_string(Port(L"connect-proxy\\ports.txt", "deny")), "", "");
    ASSERT_TRUE(RunProcess(BuildDir() + L"\\helpers\\fetch.exe",
                           ServerUrl("refused", L"/x.dll") + L" x.dll", 60000));
    const std::string log = ReadFileBytes(L"velmora.log");
    EXPECT_EQ(CountOf(log, "The game's servers could not be reached. Check the internet connection "
                           "and the proxy settings of Windows"),
              1u)
        << log;
}

// A direct route taken from the environment's variables would show up as a
// request to the deny listener; a retry's wait as "Retrying".
TEST(ProxyTest, TheSystemSettingsChooseEachRoute) {
    auto at = [](const std::string& name) {
        return "127.0.0.1:" + std::to_string(Port(L"connect-proxy\\ports.txt", name));
    };
    ASSERT_NE(Port(L"connect-proxy\\ports.txt", "open"), 0);
    const std::string environment = "http://" + at("deny");
    SetEnvironmentVariableW(L"https_proxy",
                            std::wstring(environment.begin(), environment.end()).c_str());
    const std::wstring mirrorPath = kMirror.substr(kMirror.find(L'/', 8));
    const std::string server = Narrow(kMirror.substr(8, kMirror.find(L'/', 8) - 8));
    const std::string pac = Narrow(ServerUrl("http", mirrorPath + L"proxy.pac"));
    const std::string down = Narrow(ServerUrl("refused", L"")).substr(8);
    ClearSites();
    ASSERT_TRUE(PutSiteFile(L"mirror/proxied.bin", "through or around") &&
                PutSiteFile(L"mirror/proxy.pac", "function FindProxyForURL(u, h) { return "
                                                 "\"PROXY " +
                                                     at("open") + "\"; }"));
    const struct {
        std::string proxy, bypass, script;
        std::string tunnel; // the listener asked for the server's tunnel, if any
        std::string route;  // of the log's "Proxy: " line
        bool direct;        // tried direct at once after the proxy failed
    } cases[] = {
        {at("open"), "", "", "open", at("open"), false},
        {"http=" + at("deny") + ";https=" + at("open"), "", "", "open", at("open"), false},
        {at("open"), "*.example.com; <local>", "", "", "none", false},
        {"", "", pac, "open", at("open"), false},
        {at("deny"), "", pac, "open", at("open"), false}, // the script decides
        {at("deny"), "", "", "deny", at("deny"), true},
        {at("auth"), "", "", "auth", at("auth"), true},
        {down, "", "", "", down, true},
        {"localhost:99999", "", "", "", "none", false},
        {at("open"), "", "http://" + down + "/x.pac", "open", at("open"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proxy + " | " + c.bypass + " | " + c.script);
        ScopedWorkDir dir;
        ScopedProxySettings settings(c.proxy, c.bypass, c.script);
        const std::wstring tunnelLog = BuildDir() + L"\\connect-proxy\\tunnels.log";
        const size_t seen = ReadFileBytes(tunnelLog).size();
        ASSERT_TRUE(RunProcess(BuildDir() + L"\\helpers\\fetch.exe",
                               kMirror + L"proxied.bin got.bin", 60000));
        EXPECT_EQ(ReadFileBytes(L"got.bin"), "through or around");
        // The tunnel asked once, or more for a 407; or none.
        const std::string tunnels = ReadFileBytes(tunnelLog).substr(seen);
        const std::string line = c.tunnel + "\t" + server + "\n";
        EXPECT_TRUE(c.tunnel.empty() ? tunnels.empty()
                                     : !tunnels.empty() &&
                                           CountOf(tunnels, line) * line.size() == tunnels.size())
            << tunnels;
        const std::string log = ReadFileBytes(L"velmora.log");
        EXPECT_EQ(std::tuple(CountOf(log, " - Proxy: " + c.route + "\r\n"),
                             CountOf(log, "trying the server directly"), CountOf(log, "Retrying")),
                  std::tuple(1u, c.direct ? 1u : 0u, 0u))
            << log;
    }
}
