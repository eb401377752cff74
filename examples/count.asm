; count: calls a subroutine five times, counting the calls in modifier
; register 1, then unloads.
;
;   zasm count.asm                 (writes count.txt)
;   emulator -v9 count.txt         (the trace shows every instruction)
;
; SMR loads a modifier register and its limit from two words; SOT steps
; the register and skips the next instruction once it reaches its limit.

        TITLE "count: a subroutine called five times"

        ORG 160
START   SMR  LIMITS,M1      ; modifier 1 = 0, its limit 5
AGAIN   ESUB COUNT          ; call the subroutine: the return address goes into COUNT
        SOT  1,M1           ; count the call; at 5 skip the jump
        JMP  AGAIN
        EPC  2              ; priority control 2: unload

        ORG 300
LIMITS  SHORT 0, 5          ; modifier 1 starts at 0 and stops at 5

; The subroutine. Its first word holds the link: ESUB stores the return
; address there and starts at the word after it; LSUB returns through it.
        ORG 400
COUNT   SHORT 0             ; the link
        LSUB COUNT          ; back to the caller

        ENTRY START
