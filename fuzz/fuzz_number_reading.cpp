// Typed answers of the property prompts: any text is read as a number or refused as an
// overflow, and a number that converts to 16 bits lies in range.
#include "base/number_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace base;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto read = base::readNumber(text);
    if (!read)
        return 0;
    const double value = *read;
    if (std::isnan(value))
        std::abort();
    if (const auto rounded = base::toInt16(value)) {
        if (*rounded < -32768 || *rounded > 32767 || std::fabs(*rounded - value) > 0.5)
            std::abort();
    } else if (value > -32768.5 && value < 32767.5) {
        std::abort();
    }
    (void)base::decimalText(static_cast<qint64>(std::fmod(value, 1e15)));
    return 0;
}
