// The program's words in the user's language: gettext's message catalogues of the domain
// "verdal", looked up in the session's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG, as gettext
// chooses them). With the C, POSIX or an English locale, or with no catalogue installed, every
// text is the one written in the code, byte for byte.
//
// A text meant for a person is marked where it is written, so that the template of the catalogues
// (po/verdal.pot) finds it: Tr("text") or TrN(...) where it is also shown, N_("text") where it is
// kept in a table and translated where it is shown. Only a shown text is translated: code decides
// by numbers and kinds, never by a message's words. Reasons are whole-sentence formats, so that a
// translation may reorder them ("%2$s ... %1$s"), and counts take the language's plural forms.
//
// Threads: FollowSessionLanguage once at the start of main, before any other thread; the lookups
// from any thread afterwards.
#pragma once

#include <string>

namespace verdal {

inline constexpr char kTextDomain[] = "verdal";

// Takes the session's LC_MESSAGES and LC_CTYPE (never LC_NUMERIC or the others: numbers in
// statements and in the settings file stay as they are) and the catalogues of the domain: those
// of the build tree when the program runs from one (bin/../share/locale), else the installed ones
// (/usr/share/locale). Messages come out in UTF-8 whatever the session's character set, the C
// library's own (strerror's) too. A locale the system does not have leaves the program in English.
void FollowSessionLanguage();
// The same with the catalogues of a folder of one's own (LL/LC_MESSAGES/verdal.mo), for tests.
void FollowSessionLanguage(const std::string& catalogueFolder);

// The message in the session's language (UTF-8); the message itself when no catalogue has it.
const char* Tr(const char* message) __attribute__((format_arg(1)));
// The message for a count n, in the plural form that the session's language gives n; without a
// catalogue, singular for 1 and plural otherwise.
const char* TrN(const char* singular, const char* plural, unsigned long n)
    __attribute__((format_arg(1), format_arg(2)));
// Marks a text for the catalogues where it is kept; it is translated where it is shown (Tr).
constexpr const char* N_(const char* message) {
    return message;
}

// printf's formatting into a string (positional arguments "%1$s" included).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The language the messages are shown in, as the tag of a page's lang attribute ("de", "ja"):
// the catalogue's own language, "en" when no catalogue is in use.
std::string MessagesLanguage();

} // namespace verdal
