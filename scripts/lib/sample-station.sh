# A sample station on the embedded queue: settings, queue file and target folder under $demo.
# Sourced by scripts/demo and scripts/screenshot.
rm -rf "$demo"
mkdir -p "$demo/etiquetas"
cat >"$demo/Trovessa.ini" <<INI
[CONEXAO]
Provider=SQLite
Data Source=$demo/fila.db
Login=DEMO

[ETIQUETAS]
PORTA_ND=$demo/etiquetas/etiqueta.txt
INI

label() { # nd volume count destination recipient target
    local zpl="^XA^CI27^FO30,30^A0N,40,40^FDTROVESSA CARGAS AEREAS^FS^FO30,80^A0N,60,60^FDGRU > $4^FS^FO30,150^A0N,30,30^FDND $1  VOL $2/$3^FS^FO30,190^A0N,26,26^FDDest: $5^FS^FO30,230^BCN,80,Y,N,N^FD00013656$1$2^FS^XZ"
    echo "INSERT INTO FILA_ETIQUETAS (MAQUINA, COD_GRUPOEMPRESA, NUMERO_ND, NF, NR_VOL, QT_VOL, SIG_ORIGEM, SIG_DESTINO,
        REM, DEST, NFS, DATA, HORA, CODBAR, PORTA_IMPRESSAO_ETIQUETAS, ZPL)
        VALUES ('BALCAO-01', 'TRV', '$1', '4471$1', '$2', '$3', 'GRU', '$4', 'LOJAS PAULISTANAS DE PEÇAS LTDA',
        '$5', 'Dt/Hr Limite: 12/12/26 18:00 SERVIÇO: AÉREO', '11/12/26', '14:30', '00013656$1$2', '$6', '$zpl');"
}
{
    cat src/queue/sql/sqlite.sql
    label 1253123 1 3 BHZ "FARMÁCIA CENTRAL S/A ROTA: 042 BELO HORIZONTE" ""
    label 1253123 2 3 BHZ "FARMÁCIA CENTRAL S/A ROTA: 042 BELO HORIZONTE" ""
    label 1253123 3 3 BHZ "FARMÁCIA CENTRAL S/A ROTA: 042 BELO HORIZONTE" ""
    label 1253124 1 1 POA "ELETRÔNICOS DO SUL LTDA ROTA: 107 PORTO ALEGRE" "$demo/etiquetas/zebra-balcao.prn"
    label 1253125 1 0 REC "CONFECÇÕES NORDESTE ME ROTA: 311 RECIFE" ""
} | sqlite3 "$demo/fila.db"

