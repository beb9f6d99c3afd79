// The version order must be a total preorder, or the upgrade decision depends on which of two
// versions happens to be on the left.
#include "FuzzInput.h"
#include "packages/VersionCheck.h"

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
    for (int i = 0; i < 3; ++i) {
        FUZZ_CHECK(cmp[i][i] == 0);
        for (int j = 0; j < 3; ++j) {
            FUZZ_CHECK(cmp[i][j] == -cmp[j][i]);
            for (int k = 0; k < 3; ++k) {
                // a <= b <= c gives a <= c, strictly when either step is strict.
                if (cmp[i][j] <= 0 && cmp[j][k] <= 0)
                    FUZZ_CHECK(cmp[i][k] == (cmp[i][j] + cmp[j][k] < 0 ? -1 : 0));
            }
        }
    }
    return 0;
}
