#include "common/ReadGrowing.h"

namespace qv {

uint32_t ReadGrowing(WideString& value, ReadCall read, const void* context, bool required,
                     bool* first) {
    WideString text;
    uint32_t capacity = kFirstReadRoom - 1;
    for (int call = 0;; ++call) {
        ReadSize size = capacity + 1;
        uint32_t r = read(context, text.Lend(capacity), &size);
        if (r == kErrorSuccess && size > capacity) r = kErrorMoreData;
        if (r == kErrorSuccess) {
            text.Commit();
            if (required && text.empty()) {
                r = kErrorBadConfiguration;
            } else {
                value = text;
                return r;
            }
        }
        if (first != nullptr) *first = call == 0;
        if (r != kErrorMoreData || call == kReadCalls - 1) return r;
        // Room past what was asked for: a value that grew by a unit meanwhile still fits.
        capacity = size + 1;
    }
}

}  // namespace qv
