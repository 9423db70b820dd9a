// The session's language through gettext.
#include "platform/language.h"

#include "platform/locale_dir.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <libintl.h>

namespace verdal {
namespace {

// Where the catalogues are: beside the program in a build tree or an installed prefix
// (bin/../share/locale), else where the package installs them.
std::string CatalogueFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path().parent_path() / "share" / "locale";
        if (std::filesystem::is_directory(beside, error))
            return beside.string();
    }
    return VERDAL_LOCALE_DIR;
}

} // namespace

void FollowSessionLanguage() {
    FollowSessionLanguage(CatalogueFolder());
}

void FollowSessionLanguage(const std::string& catalogueFolder) {
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    bindtextdomain(kTextDomain, catalogueFolder.c_str());
    bind_textdomain_codeset(kTextDomain, "UTF-8");
    // strerror's words come from the C library's own catalogue.
    bind_textdomain_codeset("libc", "UTF-8");
}

const char* Tr(const char* message) {
    return dgettext(kTextDomain, message);
}

const char* TrN(const char* singular, const char* plural, unsigned long n) {
    return dngettext(kTextDomain, singular, plural, n);
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(size));
    }
    va_end(again);
    return text;
}

std::string MessagesLanguage() {
    // A catalogue's header (the translation of the empty message) names its language.
    const char* header = dgettext(kTextDomain, "");
    const char* field = header ? std::strstr(header, "Language: ") : nullptr;
    if (!field)
        return "en";
    field += std::strlen("Language: ");
    std::string tag(field, std::strcspn(field, "\n"));
    // Pages want "pt-BR" where catalogues say "pt_BR".
    for (char& c : tag)
        if (c == '_')
            c = '-';
    return tag.empty() ? "en" : tag;
}

} // namespace verdal
