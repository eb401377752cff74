; copy: copies the lines of a paper tape to the line printer and to a
; magnetic tape, then asks the operator what to do.
;
;   zasm copy.asm
;   echo 2 | emulator -v1 copy.txt copy-ptr.txt
;   tapedump MT-CP.zelk
;
; The program reads the paper tape line by line up to its first empty line
; (or its end), prints each line on LP18.txt and writes it as one block to
; the tape image MT-CP.zelk. Then it rewinds the tape, which writes the
; closing block, and raises alarm 01: the reply 2 logs "COPY FINISHED"
; before the program unloads, any other reply unloads at once.
;
; Every device is driven by a group 4 action: REPLACE REGISTERS (RREG)
; loads A and B from a register block, and ENTER MASTER ROUTINE 160 (EMR)
; performs the action A upper names on the route A lower names.

        TITLE "copy: paper tape to the line printer and a magnetic tape"

READER  EQU 9               ; the routes of the three devices
PRINTER EQU 18
TAPE    EQU 27

; ---- The buffer: one for all three devices ----
BLOCK   EQU 3000            ; a tape block: its number goes into 3000-3003
PRINT   EQU 3002            ; the print area: its first long word is not printed
LINE    EQU 3004            ; the line: up to 60 characters in 3004-3029
        ORG 3030
        SHORT 0x7E          ; the end-of-data code that ends every tape block

; ---- Chapter 0: the file table ----
; The loader gives each route its device type and file name from chapter
; 0: file entry i is the pair of words at offsets 34+2i and 35+2i, the
; device type times 65536 plus the route, then the two-character name.
        CHAP0 1000
        ORG 1000+34
        SHORT 5*65536+READER    ; a paper tape reader (type 5) on route 9
        NAME "PT"
        SHORT 9*65536+PRINTER   ; a line printer (type 9) on route 18
        NAME "LP"
        SHORT 7*65536+TAPE      ; a magnetic tape (type 7) on route 27,
        NAME "CP"               ; whose image is MT-CP.zelk

; ---- Route pointers: word 64 + route holds the route's transit area ----
; A route and its pseudo-route (the route + 1) point at the same words, so
; that the exchange of the two pointers that input and output make leaves
; them where they are.
        ORG 64+READER
        SHORT LINE, LINE        ; lines are read into LINE
        ORG 64+PRINTER
        SHORT PRINT, PRINT      ; printing starts after the first long word
        ORG 64+TAPE
        SHORT BLOCK, BLOCK      ; a block: its number, two zero words, the line

; ---- Register blocks for RREG: A lower (the route), A upper (the action),
; B lower (the pseudo-route), B upper (a file name), the radix word ----
        ORG 2100
OPENRDR SHORT READER, 15, READER+1      ; open the reader
        NAME "PT"
        SHORT 0
        EVEN
OPENPRT SHORT PRINTER, 19, PRINTER+1    ; open the printer: LP18.txt is made
        NAME "LP"
        SHORT 0
        EVEN
READLN  SHORT READER, 5, READER+1, 0, 0     ; read one line
        EVEN
PRINTLN SHORT PRINTER, 1, PRINTER+1, 0, 0   ; print one line
        EVEN
WRITE   SHORT TAPE, 8, TAPE+1, 0, 0         ; write one block
        EVEN
REWIND  SHORT TAPE, 34, TAPE+1, 0, 0        ; rewind the tape
        EVEN
CLOSE   SHORT PRINTER, 21, PRINTER+1, 0, 0  ; close the printer
        EVEN
ALARM   SHORT 1, 0, 0, 0, 0                 ; alarm 01: its number in A lower
        EVEN
COMMENT SHORT FINISHED, 0, 0, 0, 0          ; the comment's text, for entry 154
        EVEN
OPENMT  SHORT TAPE, 18, TAPE+1              ; open the tape for output
        NAME "CP"
        SHORT 0

; ---- Constants ----
        EVEN
CLEAR   SHORT 0, 26         ; modifier 1 from 0 to 26: 13 long words to clear
EMPTY   TEXT "#"            ; the line an empty line (or the tape's end) gives:
                            ; the end-of-data code alone

; The comment for the log; the two newline codes end it after "HED".
        ORG 2200
FINISHED TEXT "COPY FINISHED\n\n"

; ---- The program ----
        ORG 160
START   RREG OPENRDR
        EMR  160            ; open the reader
        RREG OPENPRT
        EMR  160            ; open the printer
        RREG OPENMT
        EMR  160            ; open the tape: its image is made with the first block

; Once per line. First clear the line area, so that a shorter line leaves
; nothing of the one before it in its block.
NEXT    SELLIT 0            ; A = 0
        SMR  CLEAR,M1
WIPE    TRAL LINE,M1        ; two zero words at LINE + modifier 1
        SOT  2,M1           ; at 26 skip the jump
        JMP  WIPE

; Read a line: five characters to a long word, then the end-of-data code.
        RREG READLN
        EMR  160
        SELL LINE           ; A = the line's first long word
        SUBL EMPTY          ; the same as an empty line's?
        JAZ  DONE           ; then there are no more lines

        RREG PRINTLN
        EMR  160            ; print it: printing stops at the end-of-data code
        RREG WRITE
        EMR  160            ; write it: the block ends a word after 3030
        JMP  NEXT

DONE    RREG REWIND
        EMR  160            ; rewind: the tape gets its closing block
        RREG CLOSE
        EMR  160            ; close the printer
        RREG ALARM
        EPC  1              ; alarm 01: the reply n goes on at the n-th address below
        SHORT QUIT, LOG, QUIT, QUIT, QUIT, QUIT, QUIT, QUIT, QUIT
LOG     RREG COMMENT
        EMR  154            ; Master Routine entry 154: a comment in the log
QUIT    EPC  2              ; unload

        ENTRY START
