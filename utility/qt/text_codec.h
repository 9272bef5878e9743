// Text between the window logic (bytes of the system's code page, CR LF line
// ends) and Qt.
#ifndef KESTRO_UTILITY_QT_TEXT_CODEC_H
#define KESTRO_UTILITY_QT_TEXT_CODEC_H

#include <QString>
#include <string>

namespace kestro {

// One byte is one character: the ANSI code page on Windows, Latin-1
// elsewhere, so card bytes pass through unchanged.
inline QString ToQt(const std::string& text) {
#ifdef _WIN32
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
#else
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
#endif
}

inline std::string FromQt(const QString& text) {
#ifdef _WIN32
    const QByteArray bytes = text.toLocal8Bit();
#else
    const QByteArray bytes = text.toLatin1();
#endif
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Multi-line text: CR LF in the logic, LF in Qt's editors.
inline QString ToQtLines(const std::string& text) {
    QString lines = ToQt(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines;
}

inline std::string FromQtLines(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return FromQt(lines);
}

}  // namespace kestro

#endif
