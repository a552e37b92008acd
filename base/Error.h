#pragma once

#include <QString>

#include <exception>

namespace vocalyn {

// Every failure the program reports to its user is an Error carrying the text
// meant for the message box. Subsystems derive their own kinds from it.
class Error : public std::exception {
public:
    explicit Error(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

} // namespace vocalyn
