#pragma once
#include <utility>
#include <vector>

#include "common/Log.h"
#include "model/CertificateFile.h"
#include "model/KitFolder.h"
#include "platform/CertificateStores.h"
#include "platform/FileSystem.h"

namespace qv {

// What a certificate is, and so where it may go.
enum class CertificateKind : uint8_t {
    kRoot,          // self-signed: its issuer is its subject and its own key verifies it
    kIntermediate,  // any other certificate whose basic constraints say CA
    kEndEntity,     // the rest: never trusted by adding it
};

// Names equal to its issuer's make no root alone: another key may have signed it. Where its own
// key did not verify it and this process cannot check it (`unchecked`: no provider takes its
// key, or the check answers that it knows no such algorithm), its key identifiers decide: a
// root unless its authority key identifier names another key. `disagree`: the provider and the
// check's answer tell different stories.
CertificateKind KindOf(const Certificate& certificate, bool& unchecked, bool& disagree);

// Reads each of the kit's certificate files whole.
std::vector<CertificateFile> ReadCertificateFiles(FileSystem& files, const KitFolder& kit);

// Where each certificate of the bytes starts and how long it is: each PEM certificate block
// from "-----BEGIN CERTIFICATE-----" through its END line, since the system reads only the
// first of a file; a block without its END line runs to the next block. Bytes without such a
// block (DER, PKCS #7) are one piece.
std::vector<std::pair<size_t, size_t>> CertificatePieces(const std::vector<uint8_t>& bytes);

// Adds each certificate of the files by its kind: a root to the machine's Root store, another
// CA to its CA store; an end entity is not added, with a warning. One already there is not added
// again. Nothing is shown.
void PlaceCertificates(CertificateStores& stores, const std::vector<CertificateFile>& files,
                       Log& log);

}  // namespace qv
