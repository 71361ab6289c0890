#include "window/UpperCaseValidator.h"

UpperCaseValidator::UpperCaseValidator(qsizetype maxTypedLength, QObject *parent)
    : QValidator(parent)
    , m_maxTypedLength(maxTypedLength)
{
}

QValidator::State UpperCaseValidator::validate(QString &input, int &) const
{
    if (m_maxTypedLength >= 0 && input.size() > m_maxTypedLength)
        return Invalid;
    input = input.toUpper();
    return Acceptable;
}
