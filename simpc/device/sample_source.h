// The acquisition device's sample output: the bytes that its sample
// register gives on successive data reads, in one of three streams.
//
//   plain bytes    a scripted run of bytes.
//   flagged pairs  each pair announced by a flag byte 0x80 (bit 7: a pair
//                  follows): 0x80, first, second, 0x80, ...; after the last
//                  pair, the end flag on every read (0x40, bit 6: stop, by
//                  default; 0x00 ends without the stop bit).
//   frames         one frame per sample: first, second and, while the
//                  trigger bytes are on, the trigger byte (bit 0 set where
//                  the trigger fired).  Turning the trigger bytes off or on
//                  drops what is left of a frame being read; the next read
//                  starts the next sample's frame.
//
// Samples come from a script or from a generator that never runs dry.  A
// read past the end of a script, and every read before anything is
// played, gives `kIdleByte`.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace simpc {

// One sample: two channel bytes and the trigger byte of a three-byte
// frame.  Flagged pairs use only the channel bytes.
struct Sample {
    uint8_t first = 0;
    uint8_t second = 0;
    uint8_t trigger = 0;
};

class SampleGenerator {
  public:
    virtual ~SampleGenerator() = default;
    virtual Sample Next() = 0;
};

class SampleSource {
  public:
    static constexpr uint8_t kIdleByte = 0x00;
    static constexpr uint8_t kPairFollows = 0x80;
    static constexpr uint8_t kStop = 0x40;
    static constexpr uint8_t kTriggerBit = 0x01;

    void PlayBytes(std::vector<uint8_t> bytes);
    void PlayFlaggedPairs(std::vector<Sample> pairs, uint8_t end_flag = kStop);
    void PlayFlaggedPairs(std::shared_ptr<SampleGenerator> generator, uint64_t pairs,
                          uint8_t end_flag = kStop);
    void PlayFrames(std::vector<Sample> frames);
    void PlayFrames(std::shared_ptr<SampleGenerator> generator);

    // Three-byte frames (on, the power-up state) or two-byte frames.
    void SetTriggerBytes(bool on);
    bool TriggerBytes() const { return trigger_bytes_; }

    // The next byte of the stream.
    uint8_t Read();
    uint64_t BytesRead() const { return bytes_read_; }

  private:
    enum Stream { kPlainBytes, kFlaggedPairs, kFrames };
    void Start(Stream stream);
    bool TakeSample();
    uint8_t ReadFlaggedPair();
    uint8_t ReadFrame();

    Stream stream_ = kPlainBytes;
    std::vector<uint8_t> bytes_;
    std::vector<Sample> script_;
    std::shared_ptr<SampleGenerator> generator_;
    size_t next_ = 0;          // next byte or scripted sample
    uint64_t pairs_left_ = 0;  // flagged pairs still to announce
    uint8_t end_flag_ = kStop;
    int position_ = 0;  // byte of the pair or frame read next; 0 = a new one
    Sample current_;
    bool trigger_bytes_ = true;
    uint64_t bytes_read_ = 0;
};

}  // namespace simpc
