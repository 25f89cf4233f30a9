#include "sample_source.h"

#include <utility>

namespace simpc {

void SampleSource::Start(Stream stream) {
    stream_ = stream;
    bytes_.clear();
    script_.clear();
    generator_.reset();
    next_ = 0;
    pairs_left_ = 0;
    position_ = 0;
}

void SampleSource::PlayBytes(std::vector<uint8_t> bytes) {
    Start(kPlainBytes);
    bytes_ = std::move(bytes);
}

void SampleSource::PlayFlaggedPairs(std::vector<Sample> pairs, uint8_t end_flag) {
    Start(kFlaggedPairs);
    pairs_left_ = pairs.size();
    script_ = std::move(pairs);
    end_flag_ = end_flag;
}

void SampleSource::PlayFlaggedPairs(std::shared_ptr<SampleGenerator> generator, uint64_t pairs,
                                    uint8_t end_flag) {
    Start(kFlaggedPairs);
    generator_ = std::move(generator);
    pairs_left_ = pairs;
    end_flag_ = end_flag;
}

void SampleSource::PlayFrames(std::vector<Sample> frames) {
    Start(kFrames);
    script_ = std::move(frames);
}

void SampleSource::PlayFrames(std::shared_ptr<SampleGenerator> generator) {
    Start(kFrames);
    generator_ = std::move(generator);
}

void SampleSource::SetTriggerBytes(bool on) {
    if (on != trigger_bytes_ && stream_ == kFrames) {
        position_ = 0;
    }
    trigger_bytes_ = on;
}

bool SampleSource::TakeSample() {
    if (generator_) {
        current_ = generator_->Next();
        return true;
    }
    if (next_ < script_.size()) {
        current_ = script_[next_++];
        return true;
    }
    return false;
}

uint8_t SampleSource::ReadFlaggedPair() {
    switch (position_) {
        case 0:
            if (pairs_left_ == 0 || !TakeSample()) {
                return end_flag_;
            }
            --pairs_left_;
            position_ = 1;
            return kPairFollows;
        case 1:
            position_ = 2;
            return current_.first;
        default:
            position_ = 0;
            return current_.second;
    }
}

uint8_t SampleSource::ReadFrame() {
    switch (position_) {
        case 0:
            if (!TakeSample()) {
                return kIdleByte;
            }
            position_ = 1;
            return current_.first;
        case 1:
            position_ = trigger_bytes_ ? 2 : 0;
            return current_.second;
        default:
            position_ = 0;
            return current_.trigger;
    }
}

uint8_t SampleSource::Read() {
    ++bytes_read_;
    switch (stream_) {
        case kFlaggedPairs:
            return ReadFlaggedPair();
        case kFrames:
            return ReadFrame();
        case kPlainBytes:
            break;
    }
    return next_ < bytes_.size() ? bytes_[next_++] : kIdleByte;
}

}  // namespace simpc
