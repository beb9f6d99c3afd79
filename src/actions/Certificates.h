#pragma once
#include "common/Log.h"
#include "packages/KitFolder.h"
#include "platform/CertificateStores.h"

namespace qv {

// Adds every certificate of the kit's certificate files to the machine's Root store. Files that
// hold none are skipped; nothing is shown.
void ImportRootCertificates(CertificateStores& stores, const KitFolder& kit, Log& log);

// What the import would add, a line a certificate: its file, its thumbprint, its store.
void DescribeCertificates(CertificateStores& stores, const KitFolder& kit,
                          std::vector<WideString>& lines);

}  // namespace qv
