// A report sink that records everything, for tests, with a Report that writes to it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "report/report.h"

namespace velkor::testing {

class CaptureSink : public ReportSink {
  public:
    void AppendText(std::string_view text) override {
        std::lock_guard lock(mutex_);
        log_ += text;
    }
    void ResetProgress(int maximum) override {
        std::lock_guard lock(mutex_);
        progress_maximum_ = maximum;
        progress_.clear();
        progress_.push_back(0);
    }
    void SetProgress(int position) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(position);
    }

    std::string log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    // Every position since the last reset, starting with the reset's 0.
    std::vector<int> progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    int progress_maximum() const {
        std::lock_guard lock(mutex_);
        return progress_maximum_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        log_.clear();
        progress_.clear();
    }

    // A session's log and progress, captured here.
    Report report{this};

  private:
    mutable std::mutex mutex_;
    std::string log_;
    std::vector<int> progress_;
    int progress_maximum_ = 0;
};

}  // namespace velkor::testing
