// The header extraction of a collected TOP reply (header fields, MIME structure, transfer
// encodings, charsets, HTML) into a mail list row.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "checker/check/HeaderExtractor.h"
#include "checker/check/MailList.h"
#include "common/AppSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    velkora::AppSettings settings;
    settings.Check1value = in.ConsumeIntegralInRange<int16_t>(0, 1);
    settings.Talkcnt = in.ConsumeIntegralInRange<int16_t>(0, 40);
    if (in.ConsumeBool()) {
        settings.Notstr = in.ConsumeRandomLengthString(32);
    }
    velkora::MailList list;
    velkora::extractHeaders(in.ConsumeRemainingBytesAsString(), 1, settings, list);
    return 0;
}
