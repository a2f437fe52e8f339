// Checks the certificate a server presented, before a request goes out, with
// the system's chain engine and SSL policy: what Windows' Schannel does by
// itself and Wine's does not do at all.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "net/tls/server_certificate.h"
#include "net/transfer.h"
#include "scoped_win.h"

#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>

#include <cstdio>
#include <memory>

namespace {

// An unreachable revocation server must not lock players out, nor hold the
// launch for long.
const DWORD kRevocationTimeoutMs = 5000;
// Revocation that could not be checked says nothing against the server.
const DWORD kRevocationUnknown =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
// SECURITY_FLAG_IGNORE_REVOCATION of <wininet.h>: the SSL policy (Wine's
// among them) would refuse an unknown revocation status; a revoked
// certificate is refused from the chain's status before the policy is asked.
const DWORD kPolicyIgnoresRevocation = 0x00000080;

const wchar_t kNotTimeValid[] = L"it has expired or is not valid yet";

struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};
struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// The host name of the request about to go out (after redirects, its own).
std::wstring RequestHost(CURL* curl) {
    char* effective = nullptr;
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    char* part = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective ||
        !url || curl_url_set(url.get(), CURLUPART_URL, effective, 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK)
        return {};
    std::unique_ptr<char, CurlFree> host(part);
    return Widen(host.get());
}

std::wstring Hex(unsigned long value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", value);
    return text;
}

// The chain's own verdict in words; Wine's SSL policy passes a chain that
// ends in an unknown root, so this is asked before the policy.
std::wstring TrustError(DWORD status) {
    static const struct {
        DWORD bits;
        const wchar_t* text;
    } kTexts[] = {
        {CERT_TRUST_IS_REVOKED, L"it has been revoked"},
        {CERT_TRUST_IS_NOT_TIME_VALID, kNotTimeValid},
        {CERT_TRUST_IS_PARTIAL_CHAIN, L"its issuer is not known to the system"},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, L"its root is not trusted by the system"},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, L"a signature in its chain is not valid"},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, L"it is not valid for a server"},
    };
    for (const auto& t : kTexts)
        if (status & t.bits)
            return t.text;
    return L"its chain is not valid (trust status " + Hex(status) + L")";
}

std::wstring PolicyError(LONG error, const std::wstring& host) {
    switch (static_cast<HRESULT>(error)) {
    case CERT_E_CN_NO_MATCH:
        return L"it is not made out for " + host;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
        return L"its root is not trusted by the system";
    case CERT_E_EXPIRED:
        return kNotTimeValid;
    case CRYPT_E_REVOKED:
        return L"it has been revoked";
    case CERT_E_WRONG_USAGE:
        return L"it is not valid for a server";
    default:
        return L"the system's SSL policy refused it (error " + Hex(static_cast<DWORD>(error)) +
               L")";
    }
}

// Why the server's certificate is not to be trusted for host; empty when it is.
std::wstring Refusal(PCCERT_CONTEXT certificate, const std::wstring& host) {
    LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    para.dwUrlRetrievalTimeout = kRevocationTimeoutMs;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    // The intermediates the server sent come in the certificate's own store.
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para,
                                 CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                                     CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT,
                                 nullptr, &built))
        return L"its chain could not be built (error " + Hex(GetLastError()) + L")";
    ScopedCertChain chain(built);
    const DWORD status = chain.get()->TrustStatus.dwErrorStatus & ~kRevocationUnknown;
    if (status != CERT_TRUST_NO_ERROR)
        return TrustError(status);

    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kPolicyIgnoresRevocation;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict = {};
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &verdict))
        return L"the system's SSL policy could not be checked (error " + Hex(GetLastError()) + L")";
    return verdict.dwError ? PolicyError(verdict.dwError, host) : std::wstring();
}

} // namespace

int CheckServerBeforeRequest(void* user, char*, char*, int, int) {
    ServerCheck& check = *static_cast<ServerCheck*>(user);
    curl_tlssessioninfo* session = nullptr;
    PCCERT_CONTEXT presented = nullptr;
    const std::wstring host = RequestHost(check.curl);
    if (host.empty())
        check.refusal = L"the server's name could not be read";
    else if (curl_easy_getinfo(check.curl, CURLINFO_TLS_SSL_PTR, &session) != CURLE_OK ||
             !session || session->backend != CURLSSLBACKEND_SCHANNEL || !session->internals ||
             QueryContextAttributesW(static_cast<CtxtHandle*>(session->internals),
                                     SECPKG_ATTR_REMOTE_CERT_CONTEXT, &presented) != SEC_E_OK ||
             !presented)
        check.refusal = L"the server presented no certificate";
    else
        check.refusal = Refusal(ScopedCertificate(presented).get(), host);
    check.timeInvalid = check.refusal == kNotTimeValid;
    if (check.refusal.empty())
        return CURL_PREREQFUNC_OK;
    check.refusal = L"The server's certificate was refused: " + check.refusal;
    return CURL_PREREQFUNC_ABORT;
}
