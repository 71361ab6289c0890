#include "platform/Cp1252.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace platform {

namespace {

// At a character it cannot convert, glibc redoes the work from the start of the call up to there; short pieces keep
// that cost small for texts full of such characters.
constexpr qsizetype pieceSize = 256;

class Converter {
public:
    Converter(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv_open ") + from + " to " + to + " failed");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // startsCharacter(byte) is false for the bytes that continue a character of the input encoding.
    template<typename StartsCharacter> QByteArray convert(QByteArrayView input, StartsCharacter startsCharacter)
    {
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // a fresh start, whatever the last text left
        QByteArray result;
        result.reserve(input.size());
        // One UTF-8 or Windows-1252 character gives at most three bytes of the other.
        char buffer[3 * (pieceSize + 3)];
        const char *next = input.data();
        const char *const end = next + input.size();
        while (next != end) {
            const char *pieceEnd = next + std::min<qsizetype>(pieceSize, end - next);
            while (pieceEnd != end && !startsCharacter(*pieceEnd))
                ++pieceEnd;
            // iconv's prototype is not const-correct; it never writes through the input pointer.
            char *in = const_cast<char *>(next);
            size_t inLeft = size_t(pieceEnd - next);
            char *out = buffer;
            size_t outLeft = sizeof buffer;
            if (iconv(m_cd, &in, &inLeft, &out, &outLeft) == size_t(-1)) {
                // The character at in has no counterpart: one '?' for it.
                *out++ = '?';
                do
                    ++in;
                while (in != pieceEnd && !startsCharacter(*in));
            }
            result.append(buffer, out - buffer);
            next = in;
        }
        return result;
    }

private:
    iconv_t m_cd;
};

bool startsUtf8Character(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

} // namespace

QByteArray toCp1252(QStringView text)
{
    // Printer text is nearly always plain ASCII, the same bytes in every code page.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1();
    // Opening a converter costs more than converting a label; each thread keeps its own.
    thread_local Converter converter("WINDOWS-1252", "UTF-8");
    // Qt's encoder already writes a lone surrogate as '?', so iconv only ever sees valid UTF-8.
    return converter.convert(text.toUtf8(), startsUtf8Character);
}

QString fromCp1252(QByteArrayView bytes)
{
    thread_local Converter converter("UTF-8", "WINDOWS-1252");
    return QString::fromUtf8(converter.convert(bytes, [](char) { return true; }));
}

} // namespace platform
