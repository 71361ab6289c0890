-- The label queue on the company's SQL Server, for a company that wants one: for a branch and a machine the
-- procedure returns the labels to print now, in printing order, and hands each out once.
CREATE TABLE FILA_ETIQUETAS (
    ID bigint IDENTITY(1, 1) PRIMARY KEY,
    MAQUINA varchar(100) NULL,
    ENTREGUE bit NOT NULL DEFAULT 0,
    COD_GRUPOEMPRESA varchar(3) NULL,
    NUMERO_ND varchar(20) NULL,
    NF varchar(20) NULL,
    NR_VOL varchar(10) NULL,
    QT_VOL varchar(10) NULL,
    SIG_ORIGEM varchar(5) NULL,
    SIG_DESTINO varchar(5) NULL,
    REM varchar(100) NULL,
    DEST varchar(200) NULL,
    NFS varchar(200) NULL,
    DATA varchar(10) NULL,
    HORA varchar(8) NULL,
    CODBAR varchar(40) NULL,
    PORTA_IMPRESSAO_ETIQUETAS varchar(255) NULL,
    ZPL varchar(max) NULL
);
CREATE INDEX FILA_ETIQUETAS_PENDENTES ON FILA_ETIQUETAS (COD_GRUPOEMPRESA, MAQUINA, ENTREGUE, ID);
GO

CREATE PROCEDURE getNotaDespachoEtiqueta
    @login varchar(10) = NULL,
    @GRUPOEMPRESA varchar(3) = NULL,
    @maquina varchar(100) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    -- Handed out and returned in one transaction: a station whose link drops before it has every row leaves the
    -- labels in the queue.
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
    DECLARE @entregues TABLE (
        ID bigint, COD_GRUPOEMPRESA varchar(3), NUMERO_ND varchar(20), NF varchar(20), NR_VOL varchar(10),
        QT_VOL varchar(10), SIG_ORIGEM varchar(5), SIG_DESTINO varchar(5), REM varchar(100), DEST varchar(200),
        NFS varchar(200), DATA varchar(10), HORA varchar(8), CODBAR varchar(40),
        PORTA_IMPRESSAO_ETIQUETAS varchar(255), ZPL varchar(max));

    UPDATE FILA_ETIQUETAS WITH (ROWLOCK, READPAST) SET ENTREGUE = 1
    OUTPUT inserted.ID, inserted.COD_GRUPOEMPRESA, inserted.NUMERO_ND, inserted.NF, inserted.NR_VOL,
           inserted.QT_VOL, inserted.SIG_ORIGEM, inserted.SIG_DESTINO, inserted.REM, inserted.DEST, inserted.NFS,
           inserted.DATA, inserted.HORA, inserted.CODBAR, inserted.PORTA_IMPRESSAO_ETIQUETAS, inserted.ZPL
    INTO @entregues
    WHERE ENTREGUE = 0 AND COD_GRUPOEMPRESA = @GRUPOEMPRESA AND MAQUINA = @maquina;

    SELECT COD_GRUPOEMPRESA, NUMERO_ND, NF, NR_VOL, QT_VOL, SIG_ORIGEM, SIG_DESTINO, REM, DEST, NFS, DATA, HORA,
           CODBAR, PORTA_IMPRESSAO_ETIQUETAS, ZPL
    FROM @entregues ORDER BY ID;
    COMMIT TRANSACTION;
END
GO
