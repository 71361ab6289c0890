-- The label queue on PostgreSQL, with the procedure's contract: for a branch and a machine, the labels to print
-- now, in printing order, each handed out once. The function is created unquoted so that the ODBC call
-- {CALL getNotaDespachoEtiqueta(?, ?, ?)} finds it; the result columns keep their upper-case names.
CREATE TABLE IF NOT EXISTS fila_etiquetas (
    id bigserial PRIMARY KEY,
    maquina varchar(100),
    entregue boolean NOT NULL DEFAULT false,
    cod_grupoempresa varchar(3),
    numero_nd text,
    nf text,
    nr_vol text,
    qt_vol text,
    sig_origem text,
    sig_destino text,
    rem text,
    dest text,
    nfs text,
    data text,
    hora text,
    codbar text,
    porta_impressao_etiquetas text,
    zpl text
);
CREATE INDEX IF NOT EXISTS fila_etiquetas_pendentes ON fila_etiquetas (cod_grupoempresa, maquina, entregue, id);

CREATE OR REPLACE FUNCTION getNotaDespachoEtiqueta(p_login varchar(10), p_grupoempresa varchar(3), p_maquina varchar(100))
RETURNS TABLE ("COD_GRUPOEMPRESA" text, "NUMERO_ND" text, "NF" text, "NR_VOL" text, "QT_VOL" text,
               "SIG_ORIGEM" text, "SIG_DESTINO" text, "REM" text, "DEST" text, "NFS" text, "DATA" text,
               "HORA" text, "CODBAR" text, "PORTA_IMPRESSAO_ETIQUETAS" text, "ZPL" text)
LANGUAGE sql VOLATILE AS $$
    WITH entregues AS (
        UPDATE fila_etiquetas SET entregue = true
        WHERE NOT entregue AND cod_grupoempresa = p_grupoempresa AND maquina = p_maquina
        RETURNING *
    )
    SELECT cod_grupoempresa, numero_nd, nf, nr_vol, qt_vol, sig_origem, sig_destino, rem, dest, nfs, data, hora,
           codbar, porta_impressao_etiquetas, zpl
    FROM entregues ORDER BY id
$$;
