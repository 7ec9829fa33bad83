#pragma once

#include <QByteArray>
#include <QString>

struct ReportIdentity;

// The feedback form's contact check and the request it posts to the base API endpoint.
namespace FeedbackRequest {

// Contact kinds, as the request's fields tell them apart.
enum ContactKind
{
    NoContact = 0,
    Phone = 1,
    QQ = 2,
    Email = 3,
};

// The kind of a whole contact text, tested in the order e-mail, QQ number, phone number (so an 11-digit
// number that starts with 1 to 9 is a QQ number); NoContact when none matches.
ContactKind contactKind(const QString &contact);
// The union of the three patterns, for the field's validator (text that is or can still become one).
QString validatorPattern();

// The package's bytes before enciphering: a unity package whose head carries the base API command and
// whose body is the serialised base API message with the feedback request (the text and exactly one
// contact field by its kind).
QByteArray payload(const QString &text, const QString &contact, ContactKind kind,
                   const ReportIdentity &identity);
// The whole HTTP body: the payload enciphered with the report key, in Base64.
QByteArray body(const QString &text, const QString &contact, ContactKind kind,
                const ReportIdentity &identity);

} // namespace FeedbackRequest
