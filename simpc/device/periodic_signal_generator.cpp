#include "periodic_signal_generator.h"

#include <cmath>

namespace simpc {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

PeriodicSignalGenerator::PeriodicSignalGenerator(const Config& config) : config_(config) {
    if (config_.period < 2) {
        config_.period = 2;
    }
}

uint8_t PeriodicSignalGenerator::Sine(uint64_t index) const {
    const double phase = 2.0 * kPi * static_cast<double>(index % config_.period) / config_.period;
    const long level = std::lround(127.5 + 127.5 * std::sin(phase));
    return static_cast<uint8_t>(level < 0 ? 0 : (level > 255 ? 255 : level));
}

uint8_t PeriodicSignalGenerator::Triangle(uint64_t index) const {
    const uint64_t period = config_.period;
    const uint64_t t = index % period;
    const uint64_t rising = t * 2 <= period ? t : period - t;  // 0 up to period / 2 and back
    return static_cast<uint8_t>(rising * 2 * 255 / period);
}

Sample PeriodicSignalGenerator::At(uint64_t index) const {
    Sample sample;
    sample.first = Sine(index);
    sample.second = Triangle(index);
    const uint8_t previous = Sine(index + config_.period - 1);
    const bool crossed = previous < config_.trigger_level && sample.first >= config_.trigger_level;
    sample.trigger = crossed ? SampleSource::kTriggerBit : 0x00;
    return sample;
}

}  // namespace simpc
