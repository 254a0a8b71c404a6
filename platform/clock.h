#pragma once

#include <cstdint>

namespace platform {

// Wall-clock time in whole seconds. Injected everywhere time decides behaviour so tests can
// drive time-outs without sleeping.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t nowSeconds() const = 0;
};

class SystemClock final : public Clock {
  public:
    std::int64_t nowSeconds() const override;
};

// A clock that only moves when told to.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(std::int64_t start = 1'000'000) : now_(start) {}
    std::int64_t nowSeconds() const override { return now_; }
    void set(std::int64_t seconds) { now_ = seconds; }
    void advance(std::int64_t seconds) { now_ += seconds; }

  private:
    std::int64_t now_;
};

// Monotonic milliseconds from a cheap coarse clock; for rate limits, never for protocol timing.
std::int64_t monotonicMilliseconds();

}  // namespace platform
