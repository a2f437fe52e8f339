// add_root.exe FILE.pem: trusts a certificate as a company's or an antivirus's
// root is added, in this Windows' (the Wine prefix's) Root store, in place of
// earlier roots with the same subject.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    FILE* in = argc == 2 ? _wfopen(argv[1], L"rb") : nullptr;
    if (!in)
        return 2;
    std::string pem(65536, '\0');
    pem.resize(fread(&pem[0], 1, pem.size(), in));
    fclose(in);
    BYTE der[16384];
    DWORD size = sizeof der;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              der, &size, nullptr, nullptr))
        return 3;
    PCCERT_CONTEXT root = CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!root || !store)
        return 4;
    // Deleting frees the found context; the search starts over each time.
    while (PCCERT_CONTEXT old =
               CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                          &root->pCertInfo->Subject, nullptr))
        CertDeleteCertificateFromStore(old);
    const bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    // Wine's registry store writes only when committed or wholly released.
    const bool committed = added && CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertFreeCertificateContext(root);
    CertCloseStore(store, 0);
    return committed ? 0 : 5;
}
