| The body of a two-tune SNDH file (the build puts the header in front).
| Init sets YM channel A to a tone at full volume and keeps the sub-tune's
| period (1: 284, 2: 142); the play routine writes the period in every
| frame and exit silences the channel, so the tone is heard only when the
| player calls play.
        .text
        bra.w   init
        bra.w   exit
        bra.w   play
init:   move.w  #568,d1
        lsr.w   d0,d1
        lea     period(pc),a0
        move.w  d1,(a0)
        move.l  #0x07003e00,0xffff8800.w  | tone A only, volume 15
        move.l  #0x08000f00,0xffff8800.w
        rts
exit:   move.l  #0x08000000,0xffff8800.w
        rts
play:   move.w  period(pc),d0
        move.b  #0,0xffff8800.w
        move.b  d0,0xffff8802.w
        lsr.w   #8,d0
        move.b  #1,0xffff8800.w
        move.b  d0,0xffff8802.w
        rts
period: .word   0
