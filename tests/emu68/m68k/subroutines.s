| Subroutines: a recursive factorial with stack frames (LINK/UNLK), a
| JSR through a jump table and a string length.
|   0x2000.l  10!
|   0x2004.l  results of the three jump-table entries, one byte each, then 0
|   0x2008.w  length of the string
        .text
start:
        move.l  #10,-(sp)
        bsr     fact
        addq.l  #4,sp
        move.l  d0,0x2000

        lea     0x2004,a2
        moveq   #0,d1
each:   lea     jumps(pc),a0
        move.w  d1,d2
        add.w   d2,d2
        add.w   d2,d2
        move.l  0(a0,d2.w),a1
        jsr     (a1)
        move.b  d0,(a2)+
        addq.w  #1,d1
        cmp.w   #3,d1
        bne.s   each
        clr.b   (a2)

        pea     text(pc)
        jsr     strlen
        addq.l  #4,sp
        move.w  d0,0x2008
        rts

| d0 = n! for the long argument above the return address
fact:   link    a6,#-4
        move.l  8(a6),d1
        cmp.l   #1,d1
        bgt.s   recurse
        moveq   #1,d0
        unlk    a6
        rts
recurse:
        move.l  d1,-4(a6)
        subq.l  #1,d1
        move.l  d1,-(sp)
        bsr     fact
        addq.l  #4,sp
        move.l  -4(a6),d1
        bsr     mul32
        unlk    a6
        rts

| d0 = d0 * d1 (32 bits, small operands: d1 below 65536)
mul32:  move.l  d2,-(sp)
        move.l  d0,d2
        swap    d2
        mulu.w  d1,d2
        swap    d2
        clr.w   d2
        mulu.w  d1,d0
        add.l   d2,d0
        move.l  (sp)+,d2
        rts

one:    moveq   #0x11,d0
        rts
two:    moveq   #0x22,d0
        rts
three:  moveq   #0x33,d0
        rts

strlen: move.l  4(sp),a0
        moveq   #-1,d0
1:      addq.w  #1,d0
        tst.b   (a0)+
        bne.s   1b
        rts

        .even
jumps:  .long   one,two,three
text:   .asciz  "VARN KOL"
        .even
