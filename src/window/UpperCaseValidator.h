#pragma once

#include <QValidator>

// Typed letters become upper case, and typing stops at a length. Text set by the program is taken whole, as
// QLineEdit does not validate setText().
class UpperCaseValidator : public QValidator {
    Q_OBJECT

public:
    explicit UpperCaseValidator(qsizetype maxTypedLength, QObject *parent = nullptr);

    State validate(QString &input, int &position) const override;

private:
    qsizetype m_maxTypedLength;
};
