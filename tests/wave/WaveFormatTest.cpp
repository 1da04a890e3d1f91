// Codec names, channel texts, the frame arithmetic and the description's text.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "wave/WaveFormat.h"
#include "wave/WaveHostCalls.h"

namespace {

std::string channels(std::int16_t count) {
    char text[channelTextSize];
    channelText(count, text);
    return text;
}

std::string description(std::int32_t rate, std::int32_t bits, std::int16_t channelCount, std::int16_t tag) {
    char text[descriptionSize];
    char channelsText[channelTextSize];
    channelText(channelCount, channelsText);
    formatDescription(text, rate, bits, channelsText, codecName(tag));
    return text;
}

TEST(WaveFormat, CodecNamesByTag) {
    const struct {
        std::int16_t tag;
        const char* name;
    } known[] = {{1, "PCM"},         {2, "ADPCM"},       {6, "ALAW"},  {7, "MULAW"},
                 {17, "IMA_ADPCM"},  {34, "TRUESPEECH"}, {49, "GSM610"}, {80, "MPEG"},
                 {512, "CREATIVE_ADPCM"}};
    for (const auto& entry : known) {
        EXPECT_STREQ(codecName(entry.tag), entry.name) << entry.tag;
        EXPECT_EQ(isPcmFlag(entry.tag), entry.tag == 1 ? 1 : 0);
    }
    for (std::int16_t tag : {0, 3, 5, 85, 0x0201, -2, -1, INT16_MIN, INT16_MAX}) {
        EXPECT_STREQ(codecName(tag), "Unknown format") << tag;
        EXPECT_EQ(isPcmFlag(tag), 0);
    }
    // The extensible tag 0xFFFE reads as -2 and is not PCM.
    const std::uint8_t body[fmtBodySize] = {0xFE, 0xFF, 0x02, 0x00, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0, 4, 0, 0xFF, 0xFF};
    const WaveFormat format = decodeFmtBody(body);
    EXPECT_EQ(format.formatTag, -2);
    EXPECT_EQ(format.channelCount, 2);
    EXPECT_EQ(format.sampleRate, 44100);
    EXPECT_EQ(format.averageByteRate, 176400);
    EXPECT_EQ(format.bitsPerSample, -1);
}

TEST(WaveFormat, ChannelTexts) {
    EXPECT_EQ(channels(1), "Mono");
    EXPECT_EQ(channels(2), "Stereo");
    EXPECT_EQ(channels(0), "0 Channels");
    EXPECT_EQ(channels(3), "3 Channels");
    EXPECT_EQ(channels(6), "6 Channels");
    EXPECT_EQ(channels(9), "9 Channels");
    EXPECT_EQ(channels(10), ": Channels");
    EXPECT_EQ(channels(-1), "/ Channels");
    EXPECT_EQ(channels(256 + 3), "3 Channels"); // the character code is taken modulo 256
    EXPECT_EQ(channels(200), std::string(1, static_cast<char>(248)) + " Channels");
    EXPECT_EQ(channels(-48), ""); // character 0 ends the text
}

TEST(WaveFormat, FrameSizeNeverTraps) {
    EXPECT_EQ(bytesPerFrameOf(176400, 44100), 4);
    EXPECT_EQ(bytesPerFrameOf(176399, 44100), 3);
    EXPECT_EQ(bytesPerFrameOf(176400, 0), 0);        // sample rate 0: nothing to divide by
    EXPECT_EQ(bytesPerFrameOf(INT32_MIN, -1), 0);    // the quotient does not fit: no division
    EXPECT_EQ(bytesPerFrameOf(INT32_MIN, 1), INT32_MIN);
    EXPECT_EQ(bytesPerFrameOf(-176400, 44100), -4);  // signed, truncated toward zero
    EXPECT_EQ(bytesPerFrameOf(-7, 2), -3);
    EXPECT_EQ(bytesPerFrameOf(100, 44100), 0);
    EXPECT_EQ(frameCountOf(176400, 4), 44100u);
    EXPECT_EQ(frameCountOf(176403, 4), 44100u);
    EXPECT_EQ(frameCountOf(176400, 0), 0u);
    EXPECT_EQ(frameCountOf(0xFFFFFFFFu, -4), 1u);   // a negative size divides as its unsigned reading
    EXPECT_EQ(frameCountOf(176400, -4), 0u);
}

TEST(WaveFormat, DescriptionTexts) {
    EXPECT_EQ(description(44100, 16, 2, 1), "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
    EXPECT_EQ(description(8000, 4, 1, 17), "8000Hz, 4-bit, Mono (IMA_ADPCM) Wave Audio");
    EXPECT_EQ(description(48000, 24, 6, 3), "48000Hz, 24-bit, 6 Channels (Unknown format) Wave Audio");
    EXPECT_EQ(description(22050, -1, 10, 512), "22050Hz, -1-bit, : Channels (CREATIVE_ADPCM) Wave Audio");
    // The widest text: 65 characters.
    const std::string widest = description(INT32_MIN, INT16_MIN, 0, 512);
    EXPECT_EQ(widest, "-2147483648Hz, -32768-bit, 0 Channels (CREATIVE_ADPCM) Wave Audio");
    EXPECT_EQ(widest.size(), descriptionSize - 1);
}

} // namespace
