| A YM tone that changes with every frame: channel A's period grows by
| D0 + 1 steps a frame from 100 and its volume runs through 8-15, so that
| no two neighbouring frames sound alike and any shift of the samples shows.
        .text
        bra.w   init
        bra.w   done
        bra.w   play
init:   lea     step(pc),a0
        addq.w  #1,d0
        move.w  d0,(a0)
done:   rts
play:   lea     count(pc),a0
        move.w  (a0),d0
        addq.w  #1,(a0)
        move.w  d0,d1
        mulu    step(pc),d1
        add.w   #100,d1
        lea     0xffff8800.w,a1
        move.b  #0,(a1)                 | R0/R1: period
        move.b  d1,2(a1)
        lsr.w   #8,d1
        move.b  #1,(a1)
        move.b  d1,2(a1)
        move.l  #0x07003e00,(a1)        | R7: tone A only
        and.w   #7,d0
        addq.w  #8,d0
        move.b  #8,(a1)                 | R8: volume
        move.b  d0,2(a1)
        rts
step:   .word   0
count:  .word   0
