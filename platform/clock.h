#pragma once

#include <cstdint>

namespace platform {

// Wall-clock time in whole seconds. Injected everywhere time decides behaviour so tests can
// drive time-outs without sleeping.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t nowSeconds() const = 0;
    // The same clock in milliseconds, for intervals shorter than a second.
    virtual std::int64_t nowMilliseconds() const { return nowSeconds() * 1000; }
};

class SystemClock final : public Clock {
  public:
    std::int64_t nowSeconds() const override;
    std::int64_t nowMilliseconds() const override;
};

// A clock that only moves when told to.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(std::int64_t start = 1'000'000) : nowMs_(start * 1000) {}
    std::int64_t nowSeconds() const override { return nowMs_ / 1000; }
    std::int64_t nowMilliseconds() const override { return nowMs_; }
    void set(std::int64_t seconds) { nowMs_ = seconds * 1000; }
    void advance(std::int64_t seconds) { nowMs_ += seconds * 1000; }
    void advanceMilliseconds(std::int64_t ms) { nowMs_ += ms; }

  private:
    std::int64_t nowMs_;
};

// Monotonic milliseconds from a cheap coarse clock; for rate limits, never for protocol timing.
std::int64_t monotonicMilliseconds();

}  // namespace platform
