#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/ResultCodes.h"
#include "common/WideString.h"

namespace qv {

// A certificate and what the system tells of it; what it is follows from these.
struct Certificate {
    std::vector<uint8_t> encoded;  // DER, decoded from the bytes read from the kit
    WideString thumbprint;         // SHA-1 in upper-case hexadecimal, as certificate tools show it
    bool namesItself = false;      // its issuer's name is its subject's
    uint32_t selfCheck = 0;      // when it names itself: 0 if its own key verifies it, else why not
    bool provider = false;       // when that failed: a provider of this process takes its key
    bool ca = false;             // its basic constraints say CA
    std::vector<uint8_t> keyId;  // its key identifier: the extension's, else its key's hash
    std::vector<uint8_t> authorityKeyId;  // the one its authority key identifier names; or none
    const WideString* file = nullptr;     // the kit's file it was read from, named in the log
};

// The local machine's system stores a kit's certificate goes to.
enum class MachineStore : uint8_t {
    kRoot,  // "Root": trusted root authorities
    kCa,    // "CA": intermediate authorities
};

class CertificateStores {
  public:
    virtual ~CertificateStores() = default;
    // Every certificate of the bytes, whatever the system reads: DER, Base64 (PEM: its first
    // block only), PKCS #7, a serialized store. 0, or why none was read.
    virtual uint32_t Decode(const uint8_t* bytes, size_t size,
                            std::vector<Certificate>& certificates) = 0;
    // Whether the machine's store has the certificate; false when it cannot be told.
    virtual bool InMachine(MachineStore store, const Certificate& certificate) = 0;
    // Adds the certificate to the machine's store unless the store has it. 0 (added),
    // kCryptExists, or the error.
    virtual uint32_t AddToMachine(MachineStore store, const Certificate& certificate) = 0;
};

}  // namespace qv
