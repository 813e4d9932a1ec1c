| STE DMA sound: a looping 128-byte frame of square waves. D0 = 1: mono at
| 12516 Hz, 128 samples a cycle; D0 = 2: stereo at 25033 Hz, 64 sample
| pairs a cycle on the left and 32 on the right. D0 = 0: DMA left off.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   tst.w   d0
        beq.s   done
        lea     frame(pc),a0
        move.l  a0,d2
        moveq   #127,d1                 | 128 bytes: 64 high, 64 low
1:      move.b  #64,d3
        btst    #6,d1
        bne.s   2f
        neg.b   d3
2:      move.b  d3,(a0)+
        dbra    d1,1b
        cmp.w   #2,d0
        bne.s   3f
        lea     frame+1(pc),a0          | stereo: right bytes at half the period
        moveq   #63,d1
4:      move.b  #-64,d3
        btst    #4,d1
        bne.s   5f
        neg.b   d3
5:      move.b  d3,(a0)
        addq.l  #2,a0
        dbra    d1,4b
3:      lea     0xffff8900.w,a1
        movep.l d2,1(a1)                | frame start (the high byte lands on 0x01)
        move.l  d2,d1
        add.l   #128,d1
        movep.l d1,13(a1)               | frame end (high byte on 0x0d)
        move.b  #0x81,0x21(a1)          | mono, 12516 Hz
        cmp.w   #2,d0
        bne.s   6f
        move.b  #0x02,0x21(a1)          | stereo, 25033 Hz
6:      move.b  #3,1(a1)                | play, loop
done:   rts
        .even
frame:  .space  128
