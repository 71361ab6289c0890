#pragma once

#include <QLatin1String>
#include <array>

// Columns of one label row as the queue procedure returns them. Order and types belong to the procedure.
namespace LabelColumns {

inline constexpr QLatin1String COD_GRUPOEMPRESA("COD_GRUPOEMPRESA");
inline constexpr QLatin1String NUMERO_ND("NUMERO_ND");
inline constexpr QLatin1String NF("NF");
inline constexpr QLatin1String NR_VOL("NR_VOL");
inline constexpr QLatin1String QT_VOL("QT_VOL");
inline constexpr QLatin1String SIG_ORIGEM("SIG_ORIGEM");
inline constexpr QLatin1String SIG_DESTINO("SIG_DESTINO");
inline constexpr QLatin1String REM("REM");
inline constexpr QLatin1String DEST("DEST");
inline constexpr QLatin1String NFS("NFS");
inline constexpr QLatin1String DATA("DATA");
inline constexpr QLatin1String HORA("HORA");
inline constexpr QLatin1String CODBAR("CODBAR");
inline constexpr QLatin1String PORTA_IMPRESSAO_ETIQUETAS("PORTA_IMPRESSAO_ETIQUETAS");
inline constexpr QLatin1String ZPL("ZPL");

inline constexpr std::array all { COD_GRUPOEMPRESA, NUMERO_ND, NF, NR_VOL, QT_VOL, SIG_ORIGEM, SIG_DESTINO, REM, DEST,
    NFS, DATA, HORA, CODBAR, PORTA_IMPRESSAO_ETIQUETAS, ZPL };

}
