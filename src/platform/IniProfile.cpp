#include "platform/IniProfile.h"

#include "platform/Cp1252.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <type_traits>

namespace platform {

namespace {

// GetPrivateProfileString's buffer holds 2047 characters and the terminating NUL.
constexpr qsizetype maxValueLength = 2047;

template<typename Ch> using View = std::basic_string_view<Ch>;

template<typename Ch> bool isSpace(Ch c)
{
    const auto u = static_cast<std::make_unsigned_t<Ch>>(c);
    return (u >= 0x09 && u <= 0x0D) || u == 0x1A || u == 0x20;
}

template<typename Ch> View<Ch> trimmed(View<Ch> s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Names and values are C strings to Windows.
template<typename Ch> View<Ch> upToNul(View<Ch> s)
{
    return s.substr(0, s.find(Ch(0)));
}

template<typename Ch> Ch foldCase(Ch c)
{
    return c >= Ch('A') && c <= Ch('Z') ? Ch(c - Ch('A') + Ch('a')) : c;
}

// A nameless section or key (the lines before the first header, "[]", "=x") can't be asked for.
template<typename Ch> bool sameName(View<Ch> name, View<Ch> wanted)
{
    return !name.empty() && std::ranges::equal(name, wanted, std::ranges::equal_to {}, foldCase<Ch>, foldCase<Ch>);
}

template<typename Ch> View<Ch> unquoted(View<Ch> s)
{
    if (s.size() >= 2 && (s.front() == Ch('"') || s.front() == Ch('\'')) && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

// Calls entry(name, value) for the key lines of the first section of that name, in file order; value is nothing
// when the line has no '='. The walk stops when entry returns false.
template<typename Ch, typename Entry> void walkSection(View<Ch> text, View<Ch> section, Entry entry)
{
    static constexpr Ch lineEnds[] = { Ch('\r'), Ch('\n') };
    bool inSection = false;
    while (!text.empty()) {
        const auto lineEnd = text.find_first_of(View<Ch>(lineEnds, 2));
        const View<Ch> line = trimmed(text.substr(0, lineEnd));
        text.remove_prefix(lineEnd == View<Ch>::npos ? text.size() : lineEnd + 1);
        if (line.empty())
            continue;

        if (line.front() == Ch('[')) {
            if (const auto close = line.rfind(Ch(']')); close != View<Ch>::npos) {
                // A later section of the same name is never looked at.
                if (inSection)
                    return;
                inSection = sameName(upToNul(trimmed(line.substr(1, close - 1))), section);
                continue;
            }
        }
        if (!inSection)
            continue;

        const auto equals = line.find(Ch('='));
        const View<Ch> name = upToNul(trimmed(line.substr(0, equals)));
        if (name.empty())
            continue;
        const std::optional<View<Ch>> value = equals == View<Ch>::npos
            ? std::nullopt
            : std::optional(unquoted(upToNul(trimmed(line.substr(equals + 1)))));
        if (!entry(name, value))
            return;
    }
}

// Nothing when the section or key is missing, or when the key's first line has no '='.
template<typename Ch> std::optional<View<Ch>> findValue(View<Ch> text, View<Ch> section, View<Ch> key)
{
    std::optional<View<Ch>> found;
    walkSection(text, section, [&](View<Ch> name, std::optional<View<Ch>> value) {
        if (!sameName(name, key))
            return true;
        found = value;
        return false;
    });
    return found;
}

View<char> bytesView(QByteArrayView bytes)
{
    return View<char>(bytes.data(), size_t(bytes.size()));
}

View<char16_t> textView(QStringView text)
{
    return View<char16_t>(text.utf16(), size_t(text.size()));
}

// Only a byte-order mark makes a file Unicode; anything else is read as ANSI bytes.
std::optional<QStringConverter::Encoding> unicodeEncoding(QByteArrayView data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return QStringConverter::Utf8;
    if (data.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (data.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

std::optional<QByteArray> lookUp(const QString &filePath, View<char> section, View<char> key)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();

    if (const auto encoding = unicodeEncoding(data)) {
        // The decoder drops the byte-order mark.
        const QString text = QStringDecoder(*encoding)(data);
        const QString wantedSection = fromCp1252(QByteArrayView(section.data(), qsizetype(section.size())));
        const QString wantedKey = fromCp1252(QByteArrayView(key.data(), qsizetype(key.size())));
        const auto value = findValue(textView(text), textView(wantedSection), textView(wantedKey));
        if (!value)
            return std::nullopt;
        return toCp1252(QStringView(value->data(), qsizetype(value->size())));
    }

    const auto value = findValue(bytesView(data), section, key);
    if (!value)
        return std::nullopt;
    return QByteArray(value->data(), qsizetype(value->size()));
}

QByteArray bytesOf(View<char> text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

QByteArray bytesOf(View<char16_t> text)
{
    return toCp1252(QStringView(text.data(), qsizetype(text.size())));
}

template<typename Ch> QList<ProfileEntry> entriesOf(View<Ch> text, View<Ch> section)
{
    QList<ProfileEntry> entries;
    walkSection(text, section, [&](View<Ch> name, std::optional<View<Ch>> value) {
        if (value)
            entries.append({ bytesOf(name), bytesOf(*value) });
        return true;
    });
    return entries;
}

QByteArray limited(QByteArray value)
{
    value.truncate(maxValueLength);
    return value;
}

} // namespace

QByteArray readProfileString(
    const QString &filePath, QByteArrayView section, QByteArrayView key, QByteArrayView defaultValue)
{
    const auto wantedSection = trimmed(upToNul(bytesView(section)));
    const auto wantedKey = trimmed(upToNul(bytesView(key)));
    if (const auto value = lookUp(filePath, wantedSection, wantedKey))
        return limited(*value);

    // Windows keeps the first character of an all-blank default.
    auto fallback = upToNul(bytesView(defaultValue));
    while (fallback.size() > 1 && fallback.back() == ' ')
        fallback.remove_suffix(1);
    fallback = unquoted(fallback);
    return limited(QByteArray(fallback.data(), qsizetype(fallback.size())));
}

QList<ProfileEntry> readProfileSection(const QString &filePath, QByteArrayView section)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    const auto wantedSection = trimmed(upToNul(bytesView(section)));
    if (const auto encoding = unicodeEncoding(data)) {
        const QString text = QStringDecoder(*encoding)(data);
        const QString wanted = fromCp1252(QByteArrayView(wantedSection.data(), qsizetype(wantedSection.size())));
        return entriesOf(textView(text), textView(wanted));
    }
    return entriesOf(bytesView(data), wantedSection);
}

} // namespace platform
