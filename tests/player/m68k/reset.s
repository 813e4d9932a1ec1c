| RESET in the play routine: the chips go back to their reset state while
| the 68000 keeps its registers and goes on. Every frame the play routine
| sets up a YM tone (channel A, full volume), executes RESET, which
| silences the YM and restarts its tone counters, and sets the tone up
| again, but only when D7, A6 and SR came through the RESET unchanged.
| Period 313: 16 half waves fill a 50 Hz frame (5008 generator steps), so
| each frame's restarted tone joins the last one's without a seam.
        .text
        bra.w   done
        bra.w   done
        bra.w   play
play:   bsr.s   tone
        move.l  #0x12345678,d7
        lea     0x00abcdef,a6
        move.w  sr,d6
        reset
        move.w  sr,d5
        cmp.w   d5,d6
        bne.s   done
        cmp.l   #0x12345678,d7
        bne.s   done
        cmpa.l  #0x00abcdef,a6
        bne.s   done
tone:   lea     0xffff8800.w,a0
        move.l  #0x00003900,(a0)        | R0/R1: period 313
        move.l  #0x01000100,(a0)
        move.l  #0x07003e00,(a0)        | R7: tone A only
        move.l  #0x08000f00,(a0)        | R8: volume 15
done:   rts
