#pragma once
#include "common/WideString.h"

namespace qv {

// Who a package is: what one read of its Property table tells.
struct PackageIdentity {
    WideString path;
    WideString productCode;
    WideString upgradeCode;  // empty when the package has none
    WideString version;
    WideString name;
};

}  // namespace qv
