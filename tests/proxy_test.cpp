// The route each fetch takes as the player's Windows proxy settings decide,
// through tests/support/connect_proxy.py's listeners (open, deny, auth, pac,
// down). Each case is a run of its own (helpers\fetch.exe): the settings are
// read once per run.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::wstring kMirror = UPDATER_MIRROR_BASE_URL;

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The current user's settings as Windows' Internet Options writes them; the
// test prefix has none of its own, so they are deleted afterwards.
class ScopedProxySettings {
  public:
    ScopedProxySettings(const std::string& proxy, const std::string& bypass,
                        const std::string& script) {
        // Direct, plus "proxy" (2) and "script" (4) when set.
        const std::uint32_t flags = 1 | (proxy.empty() ? 0 : 2) | (script.empty() ? 0 : 4);
        std::string blob;
        for (std::uint32_t word : {0x46u, 1u, flags}) // version, change count, flags
            blob.append(reinterpret_cast<const char*>(&word), 4);
        for (const std::string& text : {proxy, bypass, script}) {
            const std::uint32_t size = static_cast<std::uint32_t>(text.size());
            blob.append(reinterpret_cast<const char*>(&size), 4).append(text);
        }
        blob.append(32, '\0'); // the last automatic detection's data: none
        Set(L"\\Connections", L"DefaultConnectionSettings", REG_BINARY, blob);
        const std::uint32_t enable = proxy.empty() ? 0 : 1;
        Set(L"", L"ProxyEnable", REG_DWORD, std::string(reinterpret_cast<const char*>(&enable), 4));
        for (auto [name, text] : {std::pair(L"ProxyServer", proxy),
                                  {L"ProxyOverride", bypass},
                                  {L"AutoConfigURL", script}})
            if (!text.empty())
                Set(L"", name, REG_SZ, test::Narrow(Wide(text)) + '\0', true);
    }
    ~ScopedProxySettings() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER,
                           (kSettingsKey + std::wstring(L"\\Connections")).c_str(),
                           L"DefaultConnectionSettings");
        for (const wchar_t* name :
             {L"ProxyEnable", L"ProxyServer", L"ProxyOverride", L"AutoConfigURL"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name);
    }

  private:
    static void Set(const std::wstring& sub, const wchar_t* name, DWORD type, std::string bytes,
                    bool wide = false) {
        std::wstring text = Wide(bytes);
        const void* data = wide ? static_cast<const void*>(text.c_str()) : bytes.data();
        const DWORD size = static_cast<DWORD>(wide ? text.size() * 2 : bytes.size());
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (kSettingsKey + sub).c_str(), name, type, data,
                                  size),
                  ERROR_SUCCESS);
    }
};

std::string ProxyFile(const wchar_t* name) {
    return test::ReadFileBytes(test::BuildDir() + L"\\connect-proxy\\" + name);
}

} // namespace

// A direct route taken from the environment's variables would show up as a
// request to the deny listener.
TEST(ProxyTest, TheSystemSettingsChooseEachRoute) {
    std::string ports = ProxyFile(L"ports.txt");
    auto at = [&](const std::string& name) {
        const size_t start = ports.find(name + "=") + name.size() + 1;
        return "127.0.0.1:" + ports.substr(start, ports.find('\n', start) - start);
    };
    ASSERT_NE(ports.find("open="), std::string::npos);
    SetEnvironmentVariableW(L"https_proxy", Wide("http://" + at("deny")).c_str());
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"proxied.bin", "through or around"));
    const std::string pac = "http://" + at("pac") + "/proxy.pac";
    struct Case {
        std::string proxy, bypass, script;
        std::string tunnel; // the listener asked for localhost's tunnel, if any
        std::string route;  // of the log's "Proxy: " line
        bool direct;        // tried direct after the proxy failed
    } cases[] = {
        {at("open"), "", "", "open", at("open"), false},
        {"http=" + at("deny") + ";https=" + at("open"), "", "", "open", at("open"), false},
        {at("open"), "*.example.com; <local>", "", "", "none", false},
        {"", "", pac, "open", at("open"), false},
        {at("deny"), "", pac, "open", at("open"), false}, // the script decides
        {at("deny"), "", "", "deny", at("deny"), true},
        {at("auth"), "", "", "auth", at("auth"), true},
        {at("down"), "", "", "", at("down"), true},
        {"localhost:99999", "", "", "", "none", false},
        {at("open"), "", "http://" + at("down") + "/x.pac", "open", at("open"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proxy + " | " + c.bypass + " | " + c.script);
        test::ScopedWorkDir dir;
        ScopedProxySettings settings(c.proxy, c.bypass, c.script);
        const size_t seen = ProxyFile(L"tunnels.log").size();
        ASSERT_TRUE(test::RunProcess(test::HelperPath(L"fetch"), kMirror + L"proxied.bin got.bin"));
        EXPECT_EQ(test::ReadFileBytes(L"got.bin"), "through or around");
        const std::string tunnels = ProxyFile(L"tunnels.log").substr(seen);
        const std::string line = c.tunnel + "\tlocalhost:47443\n";
        EXPECT_TRUE(c.tunnel.empty()
                        ? tunnels.empty()
                        : test::CountOf(tunnels, line) * line.size() == tunnels.size() &&
                              !tunnels.empty())
            << tunnels;
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(test::CountOf(log, " - Proxy: " + c.route + "\r\n"), 1u) << log;
        // At once: no wait for a retry.
        EXPECT_EQ(test::CountOf(log, "trying the server directly"), c.direct ? 1u : 0u) << log;
        EXPECT_EQ(test::CountOf(log, "Retrying"), 0u) << log;
    }
}
