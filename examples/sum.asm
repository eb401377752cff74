; sum: adds up a column of decimal numbers from the paper tape reader and
; prints the total on the line printer.
;
;   zasm sum.asm                   (writes sum.txt)
;   emulator sum.txt sum-ptr.txt   (the total is printed on LP18.txt)
;
; Each line of the paper tape holds one number of up to ten digits; a minus
; sign before or after the digits makes it negative. The first empty line,
; or the end of the tape, ends the column. The total is printed as TOTAL
; and the number, leading zeros suppressed and a "-" after it when it is
; negative.

        TITLE "sum: the total of a column of numbers"

READER  EQU 9               ; the routes of the reader and the printer
PRINTER EQU 18

; ---- Chapter 0: the file table the loader reads ----
; File entry i is the pair at offsets 34+2i and 35+2i: the device type
; times 65536 plus the route, then the file's two-character name.
        CHAP0 1000
        ORG 1000+34
        SHORT 5*65536+READER    ; the paper tape reader (type 5) on route 9
        NAME "PT"
        SHORT 9*65536+PRINTER   ; the line printer (type 9) on route 18
        NAME "LP"

; ---- Route pointers: word 64 + route holds the route's transit area ----
; A route and its pseudo-route (the route + 1) point at the same words.
        ORG 64+READER
        SHORT LINE, LINE
        ORG 64+PRINTER
        SHORT PRINT, PRINT

; ---- The program ----
        ORG 160
START   RREG OPENRDR
        EMR  160            ; a group 4 action: open the reader
        RREG OPENPRT
        EMR  160            ; open the printer: LP18.txt is made

NEXT    RREG READLN         ; (radix 0: binary for the end test)
        EMR  160            ; read a line into LINE
        SELL LINE           ; A = its first long word
        SUBL EMPTY          ; the same as an empty line's?
        JAZ  DONE           ; then the column has ended

        SELLIT UNPTAB
        UNPV LINE           ; the digits (and the sign) into NUMBER
        SRAD DECIMAL        ; decimal arithmetic from here
        SELL NUMBER
        ADDL TOTAL          ; A = NUMBER + TOTAL
        TRAL TOTAL          ; the new total; A = 0
        JMP  NEXT

DONE    SELLIT EDTAB
        EDF  PLINE          ; the total's line into the print area
        RREG PRINTLN
        EMR  160            ; print it
        RREG CLOSEPRT
        EMR  160            ; close the printer
        EPC  2              ; unload

; ---- Register blocks for RREG: A lower (the route), A upper (the
; action), B lower (the pseudo-route), B upper (a file name), the radix
; word (0: binary) ----
        EVEN
OPENRDR SHORT READER, 15, READER+1      ; action 15: open the reader
        NAME "PT"
        SHORT 0
        EVEN
OPENPRT SHORT PRINTER, 19, PRINTER+1    ; action 19: open the printer
        NAME "LP"
        SHORT 0
        EVEN
READLN  SHORT READER, 5, READER+1, 0, 0     ; action 5: read one line
        EVEN
PRINTLN SHORT PRINTER, 1, PRINTER+1, 0, 0   ; action 1: print one line
        EVEN
CLOSEPRT SHORT PRINTER, 21, PRINTER+1, 0, 0 ; action 21: close the printer

; ---- Constants and tables ----
DECIMAL RADIX 10            ; every digit decimal
        EVEN
EMPTY   TEXT "#"            ; an empty line: the end-of-data code alone
TOTALT  TEXT "TOTAL"

; The unpack table: one entry, the destination and its flags: a number
; (not alpha), long (ten digits), the last entry.
UNPTAB  SHORT NUMBER, 0x20000+0x100000

; The edit table: TOTAL; then the total, long, with 8 spaces before it,
; ten digits, nine leading zeros suppressed and its sign after it; then
; the end-of-data code that ends the print line (25 characters in all).
EDTAB   SHORT TOTALT, 0x10000+5
        SHORT TOTAL, 0x20000+0x40000+9*0x1000+8*0x10+10
        SHORT EMPTY, 0x10000+0x100000+1

; ---- Working words ----
NUMBER  LONG 0              ; the number of the line just read
TOTAL   LONG 0              ; the total so far

; The print area (its first long word is not printed) and the line read.
PRINT   RES 2
PLINE   RES 64
LINE    RES 400

        ENTRY START
