; ledger: a sterling ledger, assembled as a program tape.
;
;   zasm -t ledger.asm                   (writes ledger.zelk)
;   progtape -b1000 ledger.zelk ledger.map
;   emulator ledger.map ledger-ptr.txt   (the ledger is printed on LP18.txt)
;
; The program reads the paper tape one line at a time. Each line is a record
;
;   NAME;POUNDS;SHILLINGS;PENCE
;
; (the name up to 20 characters, the amounts decimal). A minus sign in a
; field makes that field negative, so a debit carries it in each field:
; -4;-17;-6 is minus 4 pounds 17 shillings and 6 pence. A record may stop
; after any field; the missing fields count as 0. Shillings and pence past
; 19 and 11 are carried over (25 shillings are 1 pound 5 shillings). The
; first empty line, or the end of the tape, ends the ledger.
;
; UNPACK VARIABLE FIELD DATA splits a record at its ";" into the name and
; three numbers of decimal digits. CONVERT turns each number into a sterling
; amount, weighting its digits from a table under the sterling radix, and
; the three are added into the record's amount and the running balance.
; EDIT FIXED FIELD FORMATS lays out the print line: the name, then the
; amount and the balance as pounds (leading zeros suppressed), shillings and
; pence, with a trailing "-" when negative. After the last record a rule and
; the total are printed, the printer is closed and the program unloads.
;
; A sterling amount is a long word whose lower half holds, from digit 0 up,
; pence (radix 12), shilling units (radix 10), shilling tens (radix 2),
; pound units and pound tens (radix 10); the upper half holds the hundreds
; of pounds and up, decimal. Pence 10 and 11 are the digits t and e.
;
; On a program tape every address is a position in its chapter: progtape
; adds the chapter's base when it loads the program (1000 with -b1000; it
; must be even, so that long words stay on even addresses). A file's name
; stands for its route, a transit area's for its pseudo-route.

        ID       0x1960
        CHAPTERS 1, 1

; Files: the paper tape reader, its lines going to LINES; the line printer,
; printing from the print area.
RDR     FILE "PT", 5, LINES, 400        ; route 9
PRT     FILE "LP", 9, PAREA, 66         ; route 18

; Transit areas. The reader's and the printer's pseudo-routes point at the
; same words as their routes, so the exchange of route and pseudo-route
; pointers that input makes leaves them where they are. The others hold
; the fixed lines: the headings and the rule.
RDRTA   AREA LINES, 400                 ; pseudo-route 8
PRTTA   AREA PAREA, 66                  ; pseudo-route 17
HEAD1TA AREA HEAD1, 24                  ; pseudo-route 26
HEAD2TA AREA HEAD2, 24                  ; pseudo-route 35
RULETA  AREA RULE, 24                   ; pseudo-route 44

; Flags of the unpack and edit tables' second words.
SPACES  EQU 0x10            ; edit: spaces before the item (times)
SKIP    EQU 0x100           ; edit: leading digits skipped (times)
ZEROS   EQU 0x1000          ; edit: leading zeros suppressed (times)
ALPHA   EQU 0x10000         ; an alpha item
LONGW   EQU 0x20000         ; a long item
SIGN    EQU 0x40000         ; edit: the sign after the item
LAST    EQU 0x100000        ; the last entry

; Chapter 1 holds chapter 0 (its positions 0-139); its own words start
; at 141.
        CHAPTER 1, EXTRA

; ---- Start: open the reader and the printer, print the headings ----
START   RREG OPENRDR
        EMR  4              ; Master Routine entry 4: a group 4 action
        RREG OPENPRT
        EMR  4              ; open the printer (LP18.txt)
        RREG PRHEAD1
        EMR  4              ; print heading line 1
        RREG PRHEAD2
        EMR  4              ; print heading line 2

; ---- Once per record ----
; Clear the record's fields, so that a short record or a short name leaves
; nothing of the record before it.
NEXT    SELLIT 0            ; A = 0
        SMR  CLEAR,M1       ; modifier 1 from 0 to 16
WIPE    TRAL NAME,M1        ; two zero words at NAME + modifier 1
        SOT  2,M1
        JMP  WIPE

; Read a line: five characters to a long word, then the end code.
        RREG READLN         ; (radix 0: binary for the end test)
        EMR  4
        SELL LINES          ; A = the line's first long word
        SUBL EMPTY          ; the word of an empty line
        JAZ  DONE           ; no more records

; Split the record: the name (five characters to a long word, up to four
; long words), the pounds long, the shillings, the pence.
        SELLIT UNPTAB
        UNPV LINES

; The amount in sterling: each field converted by its weights and added.
        SRAD STERLING
        SELLIT PWEIGHT
        CONVL POUNDS        ; A = the pounds in sterling
        TRAL AMOUNT
        SELLIT SWEIGHT
        CONV SHILLS         ; A = the shillings in sterling
        ADDL AMOUNT         ; plus the pounds
        TRAL AMOUNT
        SELLIT DWEIGHT
        CONV PENCE          ; A = the pence in sterling
        ADDL AMOUNT         ; plus pounds and shillings
        CPYL AMOUNT         ; the record's amount, kept in A
        ADDL BALANCE        ; plus the balance
        TRAL BALANCE        ; the new balance

; Edit the record's line into the print area and print it.
        SELLIT RECLINE
        EDF  PLINE          ; after the print area's unprinted long word
        RREG PRINTLN
        EMR  4
        JMP  NEXT

; ---- The end: the rule and the total, close the printer, unload ----
DONE    RREG PRRULE
        EMR  4
        SELLIT TOTLINE
        EDF  PLINE
        RREG PRINTLN
        EMR  4
        RREG CLOSEPRT
        EMR  4
        EPC  2              ; unload

; ---- Register blocks for RREG: A lower (the route), A upper (the
; action), B lower (the pseudo-route), B upper (a file name), the radix
; word (0: binary) ----
        ORG 210
OPENRDR SHORT RDR, 15, RDRTA            ; open the reader
        NAME "PT"
        SHORT 0
        EVEN
OPENPRT SHORT PRT, 19, PRTTA            ; open the printer
        NAME "LP"
        SHORT 0
        EVEN
READLN  SHORT RDR, 5, RDRTA, 0, 0       ; read a line into LINES
        EVEN
PRINTLN SHORT PRT, 1, PRTTA, 0, 0       ; print the print area
        EVEN
PRHEAD1 SHORT PRT, 1, HEAD1TA, 0, 0     ; print heading line 1
        EVEN
PRHEAD2 SHORT PRT, 1, HEAD2TA, 0, 0     ; print heading line 2
        EVEN
PRRULE  SHORT PRT, 1, RULETA, 0, 0      ; print the rule
        EVEN
CLOSEPRT SHORT PRT, 21, PRTTA, 0, 0     ; close the printer

; ---- Constants ----
        ORG 260
CLEAR   SHORT 0, 16         ; modifier 1 from 0 to 16: 8 long words cleared
EMPTY   TEXT "#"            ; an empty line: the end code alone; it also ends
                            ; every edited line
STERLING RADIX 10, 10, 2, 10, 12    ; pounds, shillings, pence
        SHORT 0

; Weights for CONVERT: digit i of a field adds the long word at 2i to A.
PWEIGHT AMOUNT STERLING, 1.0.0          ; pounds
        AMOUNT STERLING, 10.0.0
        AMOUNT STERLING, 100.0.0
        AMOUNT STERLING, 1000.0.0
        AMOUNT STERLING, 10000.0.0
        AMOUNT STERLING, 100000.0.0
        AMOUNT STERLING, 1000000.0.0
        LONG 0, 0, 0                    ; digits 7-9 of the pounds have no room
SWEIGHT AMOUNT STERLING, 0.1.0          ; shillings
        AMOUNT STERLING, 0.10.0
        AMOUNT STERLING, 5.0.0          ; 100 shillings
        AMOUNT STERLING, 50.0.0
        AMOUNT STERLING, 500.0.0
DWEIGHT AMOUNT STERLING, 0.0.1          ; pence
        AMOUNT STERLING, 0.0.10
        AMOUNT STERLING, 0.8.4          ; 100 pence
        AMOUNT STERLING, 4.3.4
        AMOUNT STERLING, 41.13.4

; The unpack table: the destination, then the flags. A name longer than
; five characters goes on into the next long words.
UNPTAB  SHORT NAME, ALPHA+LONGW
        SHORT POUNDS, LONGW     ; ten digits
        SHORT SHILLS, 0
        SHORT PENCE, LAST

; The edit table of a record's line: the item, then the characters (bits
; 0-3) and the flags. An amount's ten digits are the pounds (seven), the
; shilling tens, the shilling units and the pence. 50 characters a line,
; the last the end code.
RECLINE SHORT NAME, ALPHA+5             ; the name, five characters at a time
        SHORT NAME+2, ALPHA+5
        SHORT NAME+4, ALPHA+5
        SHORT NAME+6, ALPHA+5
        SHORT AMOUNT, LONGW+4*ZEROS+2*SKIP+3*SPACES+5   ; pounds, five digits
        SHORT AMOUNT, LONGW+1*ZEROS+7*SKIP+1*SPACES+2   ; shillings
        SHORT AMOUNT, SIGN+LONGW+9*SKIP+1*SPACES+1      ; pence and the sign
        SHORT BALANCE, LONGW+4*ZEROS+2*SKIP+4*SPACES+5
        SHORT BALANCE, LONGW+1*ZEROS+7*SKIP+1*SPACES+2
        SHORT BALANCE, SIGN+LONGW+9*SKIP+1*SPACES+1
        SHORT EMPTY, LAST+ALPHA+1               ; the end code

; The edit table of the total's line: TOTAL, 29 spaces, the balance.
TOTLINE SHORT TOTAL, ALPHA+5
        SHORT TOTAL, ALPHA+15*SPACES            ; spaces, no characters
        SHORT TOTAL, ALPHA+14*SPACES
        SHORT BALANCE, LONGW+4*ZEROS+2*SKIP+4*SPACES+5
        SHORT BALANCE, LONGW+1*ZEROS+7*SKIP+1*SPACES+2
        SHORT BALANCE, SIGN+LONGW+9*SKIP+1*SPACES+1
        SHORT EMPTY, LAST+ALPHA+1
TOTAL   TEXT "TOTAL"

; Working words, zero at the start.
AMOUNT  RES 2               ; the record's amount
BALANCE RES 2               ; the balance
NAME    RES 8               ; the record's fields, cleared for each record
POUNDS  RES 2
SHILLS  RES 1
PENCE   RES 1
        RES 4               ; room for fields that run over

; The fixed lines: an unprinted long word, the text, the end code.
HEAD1   RES 2
        TEXT "STERLING LEDGER            AMOUNT        BALANCE"
        TEXT "    #"
HEAD2   RES 2
        TEXT "                           £  S D         £  S D"
        TEXT "    #"
RULE    RES 2
        TEXT "                                      -----------"
        TEXT "    #"

; The print area: its first long word is not printed, EDIT writes the
; line after it. The reader's lines follow.
PAREA   RES 2
PLINE   RES 64
LINES   RES 400

        ENTRY START
