// Codec names, channel texts and the frame arithmetic of a WAVE fmt body.
#include "wave/WaveFormat.h"

#include "core/Utils/LittleEndian.h"
#include "core/Utils/TextCopy.h"

WaveFormat decodeFmtBody(const std::uint8_t (&body)[fmtBodySize]) {
    WaveFormat format{};
    format.formatTag = le::readI16(body + 0);
    format.channelCount = le::readI16(body + 2);
    format.sampleRate = le::readI32(body + 4);
    format.averageByteRate = le::readI32(body + 8);
    format.bitsPerSample = le::readI16(body + 14);
    return format;
}

const char* codecName(std::int16_t formatTag) {
    switch (formatTag) {
    case 1:
        return "PCM";
    case 2:
        return "ADPCM";
    case 6:
        return "ALAW";
    case 7:
        return "MULAW";
    case 17:
        return "IMA_ADPCM";
    case 34:
        return "TRUESPEECH";
    case 49:
        return "GSM610";
    case 80:
        return "MPEG";
    case 512:
        return "CREATIVE_ADPCM";
    default:
        return "Unknown format";
    }
}

std::int32_t isPcmFlag(std::int16_t formatTag) { return formatTag == 1 ? 1 : 0; }

void channelText(std::int16_t channelCount, char (&text)[channelTextSize]) {
    const char* fixed = nullptr;
    if (channelCount == 1) {
        fixed = "Mono";
    } else if (channelCount == 2) {
        fixed = "Stereo";
    }
    if (fixed != nullptr) {
        copyText(text, channelTextSize, fixed);
        return;
    }
    copyText(text, channelTextSize, "n Channels");
    // Counts of 10 and more (and negative ones) wrap into whatever character follows the digits;
    // a count of -48 gives NUL and so an empty channel text. Hosts show the text as it comes.
    const std::uint32_t code = (48u + static_cast<std::uint32_t>(static_cast<std::int32_t>(channelCount))) & 0xFFu;
    text[0] = static_cast<char>(static_cast<unsigned char>(code));
}

std::int32_t bytesPerFrameOf(std::int32_t averageByteRate, std::int32_t sampleRate) {
    // Sample rate 0: nothing to divide by. INT32_MIN / -1: the quotient does not fit and the
    // division instruction traps exactly as a division by zero does.
    if (sampleRate == 0) {
        return 0;
    }
    if (sampleRate == -1 && averageByteRate == INT32_MIN) {
        return 0;
    }
    return averageByteRate / sampleRate;
}

std::uint32_t frameCountOf(std::uint32_t dataLength, std::int32_t bytesPerFrame) {
    if (bytesPerFrame == 0) {
        return 0;
    }
    return dataLength / static_cast<std::uint32_t>(bytesPerFrame);
}
