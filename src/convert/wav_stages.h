// The stages a WAV conversion chains together. Each stage owns its engine
// (closed with the stage), the formats on both of its sides, the buffer it
// hands its output on in and, where its output comes in pieces that the next
// stage cannot take as they are, a carry buffer that keeps the rest for the
// next step. A chain is at most
//
//     DecodeStage (codec -> PCM)  ->  RateStage (PCM -> PCM)  ->  EncodeStage (PCM -> codec)
//
// or a TranscodeStage alone. Sizing runs front to back: each stage learns
// the most bytes it is handed per step and tells the next the most it hands
// on. The unit of input a stage needs runs back to front (input_unit).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "OrvaneVktapi.h"
#include "afc/afc_stream.h"
#include "platform/acm.h"

namespace vkt::convert {

enum class StageKind { Decode, Rate, Encode, Transcode };

// size_for: the stage would need more than the buffer budget.
inline constexpr uint32_t kStageTooLarge = 0xFFFFFFFFu;
// What all buffers of one step may take together; no single stage may
// take more.
inline constexpr uint32_t kBufferBudget = 32u << 20;

class ConversionStage {
public:
    virtual ~ConversionStage() = default;
    ConversionStage(const ConversionStage&) = delete;
    ConversionStage& operator=(const ConversionStage&) = delete;

    virtual StageKind kind() const = 0;
    // Opens the engine (a stage without one has nothing to do).
    virtual uint32_t open() { return VKT_OK; }
    // The bytes of input the stage takes as one unit, when the stage after
    // it takes nextUnit bytes as one (or, for the last stage, the
    // destination's block). Asked of every stage behind the first decoder.
    virtual uint32_t input_unit(uint32_t nextUnit, bool last, uint32_t* unit);
    // Sizes the buffers for steps of at most maxInput bytes of input;
    // *maxOutput: the most bytes handed on in one step. kStageTooLarge
    // when a buffer would exceed the budget.
    virtual uint32_t size_for(uint32_t maxInput, uint32_t* maxOutput) = 0;
    // Bytes of the buffers that size_for asked for.
    virtual uint64_t buffer_bytes() const { return output_.size_wanted(); }
    // Room for the output of one step.
    uint32_t output_capacity() const { return output_.size_wanted(); }
    // Allocates what size_for asked for; the last stage's output buffer is
    // the destination buffer.
    virtual void allocate(bool last);
    // One step: converts length bytes at data; *out and *outLength receive
    // what the stage hands on (in a buffer of its own). lastStep ends the
    // stream: the engine gives out what it still holds.
    virtual uint32_t run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                         uint32_t* outLength) = 0;

protected:
    ConversionStage() = default;

    // A buffer of this stage: the size sizing wants, then the bytes.
    class Buffer {
    public:
        void want(uint32_t size) { wanted_ = size; }
        uint32_t size_wanted() const { return wanted_; }
        void allocate(const char* what);
        uint8_t* data() { return bytes_.data(); }

    private:
        uint32_t wanted_ = 0;
        std::vector<uint8_t> bytes_;
    };

    Buffer output_;
};

// The rest of a stage's output that was no whole unit of the next stage's
// input: handed on from the front, kept for the next step.
class CarryBuffer {
public:
    // Appends length bytes behind what is kept, after dropping what the
    // last step handed on; returns the whole units now held (at data()).
    uint32_t take(const uint8_t* data, uint32_t length, uint32_t unit);
    // Room for one step's new bytes beside what is kept.
    uint32_t room() const;
    void reset(uint32_t size);
    void allocate(const char* what);
    uint32_t size() const { return size_; }
    uint8_t* data() { return bytes_.data(); }

private:
    void drop_handed_on();

    uint32_t size_ = 0;
    uint32_t fill_ = 0;      // bytes held
    uint32_t handedOn_ = 0;  // of these, the ones handed on in the last step
    std::vector<uint8_t> bytes_;
};

// Codec to PCM. With a stage behind it, the decoded PCM goes on in whole
// units of that stage's input; the rest waits in the carry buffer.
class DecodeStage : public ConversionStage {
public:
    // source: the whole source format (18 + cbSize bytes); pcm: the format
    // it decodes to.
    DecodeStage(std::vector<uint8_t> source, const WAVEFORMATEX& pcm);
    StageKind kind() const override { return StageKind::Decode; }
    uint32_t open() override;
    // The next stage takes its input in units of unit bytes.
    void hand_on_in_units_of(uint32_t unit) { handOnUnit_ = unit; }
    uint32_t size_for(uint32_t maxInput, uint32_t* maxOutput) override;
    uint64_t buffer_bytes() const override { return uint64_t{output_.size_wanted()} + carry_.size(); }
    void allocate(bool last) override;
    uint32_t run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                 uint32_t* outLength) override;

private:
    std::vector<uint8_t> source_;
    WAVEFORMATEX sourceHead_{};  // the first 18 bytes of source_
    WAVEFORMATEX pcm_;
    vkt::acm::UniqueStream stream_;
    uint32_t handOnUnit_ = 0;  // 0: the last stage, nothing carried
    CarryBuffer carry_;
};

// PCM to PCM: sample width and rate, by the AFC converter.
class RateStage : public ConversionStage {
public:
    RateStage(const WAVEFORMATEX& in, const WAVEFORMATEX& out);
    ~RateStage() override;
    StageKind kind() const override { return StageKind::Rate; }
    uint32_t open() override;
    uint32_t input_unit(uint32_t nextUnit, bool last, uint32_t* unit) override;
    uint32_t size_for(uint32_t maxInput, uint32_t* maxOutput) override;
    uint32_t run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                 uint32_t* outLength) override;

private:
    WAVEFORMATEX in_;
    WAVEFORMATEX out_;
    AFC_HANDLE converter_ = nullptr;
};

// PCM to codec. Behind a rate change its input comes in pieces that need
// not be whole codec blocks: the carry buffer keeps the rest.
class EncodeStage : public ConversionStage {
public:
    // destination: the whole destination format (18 + cbSize bytes);
    // probe: try one frame's header when the stream opens (the DSS encoder
    // tells then whether it takes buffers of one frame).
    EncodeStage(const WAVEFORMATEX& pcm, std::vector<uint8_t> destination, bool afterRateChange, bool probe);
    StageKind kind() const override { return StageKind::Encode; }
    uint32_t open() override;
    uint32_t input_unit(uint32_t nextUnit, bool last, uint32_t* unit) override;
    uint32_t size_for(uint32_t maxInput, uint32_t* maxOutput) override;
    uint64_t buffer_bytes() const override { return uint64_t{output_.size_wanted()} + carry_.size(); }
    void allocate(bool last) override;
    uint32_t run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                 uint32_t* outLength) override;

private:
    uint32_t input_per_block(uint32_t* bytes);

    WAVEFORMATEX pcm_;
    std::vector<uint8_t> destination_;
    WAVEFORMATEX destinationHead_{};
    bool afterRateChange_;
    bool probe_;
    vkt::acm::UniqueStream stream_;
    uint32_t blockInput_ = 0;  // PCM bytes of one codec block, behind a rate change
    CarryBuffer carry_;
};

// The tag 0x0120 pair 4000 -> 2400 bytes/s: every 40-byte block cut to its
// first 24 bytes.
class TranscodeStage : public ConversionStage {
public:
    StageKind kind() const override { return StageKind::Transcode; }
    uint32_t size_for(uint32_t maxInput, uint32_t* maxOutput) override;
    uint32_t run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                 uint32_t* outLength) override;
};

using StageChain = std::vector<std::unique_ptr<ConversionStage>>;

}  // namespace vkt::convert
