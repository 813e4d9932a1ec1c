| The play routine toggles YM channel A between volume 0 and 15 (tone and
| noise off: the channel outputs its volume) at every call, a square wave
| at half the replay rate.
        .text
        bra.w   done
        bra.w   done
        bra.w   play
play:   lea     level(pc),a1
        eori.b  #15,(a1)
        lea     0xffff8800.w,a0
        move.l  #0x07003f00,(a0)
        move.b  #8,(a0)
        move.b  (a1),2(a0)
done:   rts
level:  .byte   0
