// The scanner's and renderer's two calls into Windows, kept behind this small interface so that
// neither includes Windows headers: the abort-event poll and the description's formatter. Both go
// through the platform table, where tests replace them.
#pragma once

#include <cstdint>

#include "wave/WaveFormat.h"

// Whether the host's abort event is signalled. Polled with a time-out of 0, never waited on: only
// WAIT_OBJECT_0 means abort; a time-out or a failed wait means carry on. A null event is never
// polled and never aborts.
bool abortSignalled(void* abortEvent);

// Formats "<rate>Hz, <bits>-bit, <channels> (<codec>) Wave Audio" with wsprintfA. The text always
// fits: channels is at most 10 characters and codec at most 14 (codecName, channelText). On a
// formatter failure the text is empty.
void formatDescription(char (&text)[descriptionSize], std::int32_t sampleRate, std::int32_t bitsPerSample,
                       const char* channels, const char* codec);
