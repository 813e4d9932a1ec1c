| A YM tone: channel A, full volume, tone period D0 (the track's d0) plus
| D3, which a track starts with at 0; init leaves D3 at 77, so a track
| that started with another's registers would play off key. The play
| routine writes the registers every frame. D0 = 0 makes the play routine,
| D0 = 1 the init routine never return.
        .text
        bra.w   init
        bra.w   done
        bra.w   play
init:   cmp.w   #1,d0
        beq.s   hang
        lea     period(pc),a0
        add.w   d3,d0
        move.w  d0,(a0)
        moveq   #77,d3
done:   rts
play:   move.w  period(pc),d0
        beq.s   hang
        lea     0xffff8800.w,a0
        move.b  #0,(a0)                 | R0/R1: period
        move.b  d0,2(a0)
        lsr.w   #8,d0
        move.b  #1,(a0)
        move.b  d0,2(a0)
        move.l  #0x07003e00,(a0)        | R7: tone A only
        move.l  #0x08000f00,(a0)        | R8: volume 15
        rts
hang:   bra.s   hang
period: .word   0
