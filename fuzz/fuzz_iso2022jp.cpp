// ISO-2022-JP to Shift_JIS, and the text of the old Japanese mail and of any labelled charset
// to UTF-8.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "checker/decode/Charset.h"
#include "checker/decode/JisConversion.h"
#include "checker/decode/LegacyText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const kCharsets[] = {"iso-2022-jp", "shift_jis", "utf-8",  "euc-jp",
                                            "iso-8859-1",  "utf-16",    "gb2312", ""};
    std::string charset = in.ConsumeBool() ? kCharsets[in.ConsumeIntegralInRange<std::size_t>(0, 7)]
                                           : in.ConsumeRandomLengthString(16);
    const auto end = in.ConsumeBool() ? velkora::TextEnd::MayBeCut : velkora::TextEnd::Complete;
    const std::string text = in.ConsumeRemainingBytesAsString();
    velkora::convertIso2022JpText(text);
    velkora::legacyTextToUtf8(text);
    velkora::unlabelledTextToUtf8(text, end);
    velkora::charsetTextToUtf8(text, charset, end);
    return 0;
}
