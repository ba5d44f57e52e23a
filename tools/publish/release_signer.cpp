#include "publish/release_signer.h"

#include "util/file_util.h"

bool SignReleaseBytes(const std::wstring& keyPath, const std::string& bytes, std::string& signature,
                      std::wstring& error) {
    signature.clear();
    std::string pem;
    if (!ReadWholeFile(keyPath, pem)) {
        error = L"cannot read the key file " + keyPath;
        return false;
    }
    switch (SignWithPemKey(pem, bytes, signature)) {
    case PEM_SIGNED:
        return true;
    case PEM_NO_P256_KEY:
        error = L"the key file " + keyPath + L" holds no unencrypted P-256 private key";
        break;
    case PEM_SIGNING_FAILED:
        error = L"signing with " + keyPath + L" failed";
        break;
    }
    signature.clear();
    return false;
}
