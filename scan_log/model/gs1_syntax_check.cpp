#include "scan_log/model/gs1_syntax_check.h"

#include "scan_log/model/visible_bytes.h"

#include <memory>
#include <string_view>

#include <zint.h>

namespace scan_log {

namespace {

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

// The fields in zint's bracketed form, "[01]09521234543213[10]ABC"; none when a field has no
// identifier or a value holds a bracket, which that form cannot carry.
std::optional<std::string> bracketed(const std::vector<Gs1Field>& fields) {
    std::string text;
    for (const Gs1Field& field : fields) {
        if (field.ai.empty() || field.raw.find_first_of("[]") != std::string::npos)
            return std::nullopt;
        text += '[' + field.ai + ']' + field.raw;
    }
    return text;
}

} // namespace

Gs1SyntaxCheck checkGs1Syntax(const std::vector<Gs1Field>& fields) {
    const std::optional<std::string> input = bracketed(fields);
    if (!input || input->empty())
        return {};
    std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol)
        return {};
    // GS1-128 checks fastest (about a microsecond); a warning counts as a finding.
    symbol->symbology = BARCODE_GS1_128;
    symbol->input_mode = GS1_MODE;
    symbol->warn_level = WARN_FAIL_ALL;
    const int error =
        ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(input->data()),
                        static_cast<int>(input->size()));
    if (error == 0)
        return {true, std::nullopt};
    // Too long for a GS1-128 symbol is no fault of the data, but leaves it unchecked.
    if (error != ZINT_ERROR_INVALID_DATA && error != ZINT_ERROR_INVALID_CHECK &&
        error != ZINT_ERROR_NONCOMPLIANT)
        return {};
    std::string_view text = symbol->errtxt;
    // "Error 261: AI (17) ..." without zint's own number.
    if (const std::size_t colon = text.find(": ");
        text.starts_with("Error ") && colon != std::string_view::npos)
        text.remove_prefix(colon + 2);
    return {true, visibleForm(text)};
}

} // namespace scan_log
