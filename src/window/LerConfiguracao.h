#pragma once

#include <QList>
#include <QString>
#include <utility>

// One value of the station's settings file. A missing file, section or key gives the default; any other failure
// gives the empty text. The file is read afresh each time, so an edit counts from the next lookup.
QString LerConfiguracao(const QString &secao, const QString &chave, const QString &padrao);

// Every key with a value in one section of the settings file, in file order; the empty list on any failure.
QList<std::pair<QString, QString>> LerSecao(const QString &secao);
