// The version order must be antisymmetric, and a total preorder over the installer's own
// versions (decimal fields), or the upgrade decision depends on which of two versions happens
// to be on the left. Fields that are not numbers are compared as text against whatever stands
// opposite, numbers included: that part of the order is not transitive (9 < 10 < 1a < 9), and
// only antisymmetry is asked of it.
#include "FuzzInput.h"
#include "decide/VersionCheck.h"

static bool Numeric(const qv::WideString& version) {
    for (char16_t c : version.str())
        if (c != u'.' && (c < u'0' || c > u'9')) return false;
    return true;
}

// Input: up to three versions, one a line.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    std::vector<WideString> v = fuzz::Lines(fuzz::Units(data, size), 3);
    v.resize(3);
    int cmp[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            cmp[i][j] = CompareVersions(v[i], v[j]);
            FUZZ_CHECK(cmp[i][j] == -1 || cmp[i][j] == 0 || cmp[i][j] == 1);
        }
    bool numeric = Numeric(v[0]) && Numeric(v[1]) && Numeric(v[2]);
    for (int i = 0; i < 3; ++i) {
        FUZZ_CHECK(cmp[i][i] == 0);
        for (int j = 0; j < 3; ++j) {
            FUZZ_CHECK(cmp[i][j] == -cmp[j][i]);
            for (int k = 0; k < 3; ++k) {
                // a <= b <= c gives a <= c, strictly when either step is strict.
                if (numeric && cmp[i][j] <= 0 && cmp[j][k] <= 0)
                    FUZZ_CHECK(cmp[i][k] == (cmp[i][j] + cmp[j][k] < 0 ? -1 : 0));
            }
        }
    }
    return 0;
}
