// Settings texts as the dialog reads them when it loads: any text, no crash, one-letter parity.
#include "settings_dialog/model/settings_text.h"

#include <cstdint>
#include <cstdlib>

using namespace settings_dialog;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const settings_dialog::SettingsFields fields = settings_dialog::readSettingsFields(text);
    if (fields.parity.size() > 1)
        std::abort();
    if (!text.contains(QLatin1Char(',')) && (fields.baud || !fields.parity.isEmpty()))
        std::abort();
    return 0;
}
