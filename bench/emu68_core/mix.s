| A replay-like workload for the CPU benchmark: per "voice" it walks a
| pattern table, looks up periods, scales volumes, writes sound registers
| on the I/O bus and calls small subroutines, inside counted loops.
        .text
start:
        movem.l d0-d7/a0-a6,-(sp)
        lea     periods(pc),a2
        lea     0x20000,a1
        move.w  #199,d7
frame:
        lea     pattern(pc),a0
        moveq   #3,d6
voice:
        move.b  (a0)+,d0
        ext.w   d0
        add.w   d0,d0
        move.w  0(a2,d0.w),d1
        move.w  d1,d2
        lsr.w   #4,d2
        and.w   #0x0f,d2
        cmp.w   #8,d2
        bls.s   1f
        subq.w  #1,d2
1:      move.b  d6,0xffff8800
        move.b  d2,0xffff8802
        move.w  d1,(a1)+
        bsr.s   envelope
        addq.l  #1,d5
        tst.w   d3
        beq.s   2f
        swap    d3
2:      dbra    d6,voice
        lea     -8(a1),a1
        dbra    d7,frame
        movem.l (sp)+,d0-d7/a0-a6
        rts

envelope:
        move.l  d1,d3
        mulu    #3,d3
        asr.l   #2,d3
        eor.w   d1,d3
        move.w  d3,4(a1)
        rts

pattern:
        .byte   1,5,9,3
        .even
periods:
        .word   0x358,0x328,0x2fa,0x2d0,0x2a6,0x280,0x25c,0x23a
        .word   0x21a,0x1fc,0x1e0,0x1c5,0x1ac,0x194,0x17d,0x168
