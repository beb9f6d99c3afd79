#pragma once
#include <vector>

#include "driver/RunContext.h"
#include "model/Plan.h"

namespace qv {

// The lines of a decision not written yet: a decision made again, after an answer or with the
// facts that follow it, writes the lines written before first. They are skipped only where they
// are the same; a line that differs is written, and every line after it, so none is lost.
// A plan to look at keeps the lines too.
class DecisionLines final : public Log {
  public:
    DecisionLines(Log& log, std::vector<WideString>* kept) : log_(log), kept_(kept) {}
    void Again() { next_ = 0; }
    void Add(Severity severity, const WideString& text, const uint32_t* code) override {
        if (next_ < written_.size()) {
            if (written_[next_] == text) {
                ++next_;
                return;
            }
            written_.erase(written_.begin() + next_, written_.end());
        }
        ++next_;
        written_.push_back(text);
        if (kept_ != nullptr) kept_->push_back(text);
        log_.Add(severity, text, code);
    }

  private:
    Log& log_;
    std::vector<WideString>* kept_;
    std::vector<WideString> written_;
    size_t next_ = 0;
};

// Decides once, and again after each answer and after reading the facts that follow the
// decision (into `late`), until there is a plan. With `report`, a plan to look at: the
// decision's lines go to it as well.
Plan MakePlan(RunContext& run, Facts& facts, LateFacts& late, std::vector<WideString>* report);

}  // namespace qv
