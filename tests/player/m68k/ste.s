| STE DMA sound, looping square waves. D0 = 1: mono at 12516 Hz, 128
| samples a cycle; D0 = 2: stereo at 25033 Hz, 64 sample pairs a cycle on
| the left and 32 on the right. D0 = 0: silence, unless an MFP timer C
| interrupt comes (a track without YM must get none): that starts mono.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   lea     irq(pc),a0
        move.l  a0,0x114.w
        tst.w   d0
        bne.s   start
done:   rts
irq:    movem.l d0-d1/a0-a1,-(sp)
        moveq   #1,d0
        bsr.s   start
        movem.l (sp)+,d0-d1/a0-a1
        rte
start:  lea     mono(pc),a0
        move.w  #0x81,d1                | mono, 12516 Hz
        cmp.w   #2,d0
        bne.s   1f
        lea     stereo(pc),a0
        moveq   #0x02,d1                | stereo, 25033 Hz
1:      lea     0xffff8900.w,a1
        move.l  a0,d0
        movep.l d0,1(a1)                | frame start (its high byte lands on 0x01)
        add.l   #128,d0
        movep.l d0,13(a1)               | frame end (high byte on 0x0d)
        move.b  d1,0x21(a1)
        move.b  #3,1(a1)                | play, loop
        rts
mono:   .fill 64,1,64;  .fill 64,1,-64
stereo: .rept 16; .byte 64,64;  .endr; .rept 16; .byte 64,-64;  .endr
        .rept 16; .byte -64,64; .endr; .rept 16; .byte -64,-64; .endr
