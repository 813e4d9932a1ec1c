| The body of an SNDH file of seven sub-tunes (the build puts the header in
| front). Each makes TOS calls and sounds only when they did their work:
| 1   GEMDOS and stray exceptions: Super, Sversion, Malloc(-1) and Mxalloc
|     agree, a Malloc of all of it lies past the tune's uninitialised data
|     (cleared after the block got its tone period), Mfree; TRAP #15, line
|     A and F opcodes and an illegal instruction return; every MFP vector
|     and autovector is an RTE, and a timer runs on a vector never set. The
|     play routine writes the period kept in the block (284) in every
|     frame, and exit silences it: only play sounds. Play leaves every
|     interrupt masked, as a tune may (its caller's RTE unmasks them).
| 2   MFP interrupts: timer C toggles the volume (a square wave at half its
|     rate) from a handler set by Mfpint, chained by Setexc to the vector
|     Setexc returned, enabled by Jenabint. Timer D runs on a vector set by
|     Mfpint (which must not enable it) and timer A is enabled and disabled
|     again by Jdisint: their handler would stop every timer.
| 3   Dosound, Kbdvbase's handlers and Iorec return; the cookie jar has
|     _CPU, _MCH and _SND as an STE; a tone of period 142 written by Giaccess
|     and read back; Offgibit and Ongibit select port A themselves (the
|     volume register left selected keeps its value).
| 4-7 Xbtimer on timer A-D toggles the volume; the control register C and
|     D share keeps the other timer's bits.
        .equ    YM, 0xffff8800          | register select; data at +2
        .equ    YM_DATA, 0xffff8802
        .equ    BSS_SIZE, 0xc000        | the uninitialised data after the tune
        .text
        bra.w   init
        bra.w   exit
        bra.w   play

init:   movem.l d0-a6,-(sp)
        move.w  d0,d7
        move.l  #0x07003f00,YM.w        | tones and noises off: channels play their volume
        lea     subtunes(pc),a0
        add.w   d0,d0
        adda.w  -2(a0,d0.w),a0
        jsr     (a0)
        movem.l (sp)+,d0-a6
        rts
subtunes:
        .word   gemdos-subtunes, mfp-subtunes, ym-subtunes
        .word   xbt-subtunes, xbt-subtunes, xbt-subtunes, xbt-subtunes

exit:   move.l  #0x08000000,YM.w        | volume A 0
        rts

play:   move.w  #0x2700,sr              | the replay restores the status register
        move.l  block(pc),d0
        beq.s   1f
        movea.l d0,a0
        move.w  (a0),d0
        move.b  #0,YM.w
        move.b  d0,YM_DATA.w
        lsr.w   #8,d0
        move.b  #1,YM.w
        move.b  d0,YM_DATA.w
1:      rts

| ------------------------------------------------------------ sub-tune 1
gemdos: pea     1.w                     | Super(1): -1, supervisor mode
        move.w  #0x20,-(sp)
        trap    #1
        addq.l  #6,sp
        addq.l  #1,d0
        bne     fail
        clr.l   -(sp)                   | Super(0): the caller's stack
        move.w  #0x20,-(sp)
        move.l  sp,d1
        trap    #1
        addq.l  #6,sp
        cmp.l   d1,d0
        bne     fail
        move.w  #0x30,-(sp)             | Sversion: TOS 1.04
        trap    #1
        addq.l  #2,sp
        cmp.w   #0x1500,d0
        bne     fail
        moveq   #16,d0                  | Malloc(16) and Mfree of it
        bsr     malloc
        move.l  d0,-(sp)
        beq     fail4
        move.w  #0x49,-(sp)
        trap    #1
        addq.l  #6,sp
        tst.l   d0
        bne     fail
        moveq   #-1,d0                  | Malloc(-1): the free size
        bsr     malloc
        move.l  d0,d3
        beq     fail
        clr.w   -(sp)                   | Mxalloc(-1, ST RAM): the same
        pea     -1.w
        move.w  #0x44,-(sp)
        trap    #1
        addq.l  #8,sp
        cmp.l   d0,d3
        bne     fail
        move.l  d3,d0                   | all of it, then nothing is left
        bsr     malloc
        movea.l d0,a4
        tst.l   d0
        beq     fail
        moveq   #2,d0
        bsr     malloc
        tst.l   d0
        bne     fail
        move.w  #284,(a4)
        lea     tune_end(pc),a0         | the tune clears its uninitialised data
        move.w  #BSS_SIZE/4-1,d0
1:      clr.l   (a0)+
        dbra    d0,1b

        move.l  #0x12345678,d7          | stray exceptions return
        trap    #15
        .word   0xa000
        .word   0xf000
        illegal
        cmp.l   #0x12345678,d7
        bne     fail
        lea     0x100.w,a0              | MFP vectors
        moveq   #16-1,d0
        bsr     rtes
        bne     fail
        lea     0x64.w,a0               | autovectors 1-7 (HBL 0x68, VBL 0x70)
        moveq   #7-1,d0
        bsr     rtes
        bne     fail
        move.b  #100,0xfffffa21.w       | timer B (/16) on its unset vector
        move.b  #3,0xfffffa1b.w
        bset    #0,0xfffffa07.w
        bset    #0,0xfffffa13.w

        lea     block(pc),a0
        move.l  a4,(a0)
        move.l  #0x07003e00,YM.w        | tone A at full volume
        move.l  #0x08000f00,YM.w
        rts
fail4:  addq.l  #4,sp
| A check failed: every timer stopped, volume A 0.
fail:   clr.b   0xfffffa19.w
        clr.b   0xfffffa1b.w
        clr.b   0xfffffa1d.w
        move.l  #0x08000000,YM.w
        rts

malloc: move.l  d0,-(sp)
        move.w  #0x48,-(sp)
        trap    #1
        addq.l  #6,sp
        rts

| Z set when the D0 + 1 vectors from A0 all lead to an RTE.
rtes:   movea.l (a0)+,a1
        cmp.w   #0x4e73,(a1)
        dbne    d0,rtes
        rts

| ------------------------------------------------------------ sub-tune 2
mfp:    move.b  #246,0xfffffa1f.w       | timer A: /4, data 246
        move.b  #1,0xfffffa19.w
        move.b  #96,0xfffffa23.w        | timer C: /64, data 96
        move.b  #30,0xfffffa25.w        | timer D: /200, data 30
        move.b  #0x57,0xfffffa1d.w
        pea     stop(pc)
        move.w  #4,-(sp)                | Mfpint(4: timer D, stop)
        move.w  #13,-(sp)
        trap    #14
        move.w  #13,2(sp)               | Mfpint(13: timer A, stop)
        trap    #14
        addq.l  #8,sp
        move.l  #0x001b000d,-(sp)       | Jenabint(13), Jdisint(13)
        trap    #14
        move.w  #26,(sp)
        trap    #14
        addq.l  #4,sp

        pea     tick(pc)
        move.l  #0x000d0005,-(sp)       | Mfpint(5: timer C, tick)
        trap    #14
        addq.l  #8,sp
        pea     -1.w
        move.l  #0x00050045,-(sp)       | Setexc(69: timer C's vector, -1)
        trap    #13
        addq.l  #8,sp
        lea     tick(pc),a0
        cmp.l   a0,d0
        bne     fail
        pea     chain(pc)
        move.l  #0x00050045,-(sp)       | Setexc(69, chain)
        trap    #13
        addq.l  #8,sp
        lea     old(pc),a0
        move.l  d0,(a0)
        pea     -1.w
        move.l  #0x00050045,-(sp)
        trap    #13
        addq.l  #8,sp
        lea     chain(pc),a0
        cmp.l   a0,d0
        bne     fail
        move.l  #0x001b0005,-(sp)       | Jenabint(5)
        trap    #14
        addq.l  #4,sp
        rts

chain:  move.l  old(pc),-(sp)           | on to the vector Setexc gave back
        rts
tick:   move.l  a0,-(sp)
        lea     level(pc),a0
        eori.b  #15,(a0)
        move.b  #8,YM.w
        move.b  (a0),YM_DATA.w
        movea.l (sp)+,a0
        rte
stop:   clr.b   0xfffffa19.w
        clr.b   0xfffffa1b.w
        clr.b   0xfffffa1d.w
        rte

| ------------------------------------------------------------ sub-tune 3
ym:     pea     sounds(pc)              | Dosound
        move.w  #32,-(sp)
        trap    #14
        addq.l  #6,sp
        move.w  #34,-(sp)               | Kbdvbase: call every handler
        trap    #14
        addq.l  #2,sp
        movea.l d0,a2
        moveq   #9-1,d2
4:      movea.l (a2)+,a0
        jsr     (a0)
        dbra    d2,4b
        clr.w   -(sp)                   | Iorec(0): a buffer
        move.w  #14,-(sp)
        trap    #14
        addq.l  #4,sp
        movea.l d0,a0
        tst.l   (a0)
        beq     fail

        lea     cookies(pc),a2
        moveq   #3-1,d2
1:      movea.l 0x5a0.w,a0
2:      move.l  (a0)+,d0
        beq     fail
        move.l  (a0)+,d1
        cmp.l   (a2),d0
        bne.s   2b
        cmp.l   4(a2),d1
        bne     fail
        addq.l  #8,a2
        dbra    d2,1b

        lea     writes(pc),a2           | tone A at full volume
        moveq   #4-1,d2
3:      move.w  (a2)+,d0
        move.w  (a2)+,d1
        bsr     giaccess
        dbra    d2,3b
        moveq   #0,d0                   | read register 0 back
        moveq   #0,d1
        bsr     giaccess
        cmp.w   #142,d0
        bne     fail
        move.b  #8,YM.w
        move.l  #0x001d0000,-(sp)       | Offgibit(0)
        trap    #14
        move.b  #8,YM.w
        move.l  #0x001e0010,(sp)        | Ongibit(0x10)
        trap    #14
        addq.l  #4,sp
        rts

| Giaccess(D0, D1)
giaccess:
        move.w  d1,-(sp)
        move.w  d0,-(sp)
        move.w  #28,-(sp)
        trap    #14
        addq.l  #6,sp
        rts

cookies:
        .ascii  "_MCH"
        .long   0x00010000
        .ascii  "_SND"
        .long   3
        .ascii  "_CPU"
        .long   0
| Data and register | 0x80 (write).
writes: .word   142, 0x80, 0, 0x81, 0x3e, 0x87, 15, 0x88
sounds: .byte   0xff, 0                 | a sound list that ends at once

| -------------------------------------------------------- sub-tunes 4-7
xbt:    subq.w  #4,d7                   | timer 0-3
        move.w  d7,d0
        mulu    #6,d0
        lea     xbt_rows(pc),a2
        adda.w  d0,a2
        movea.w (a2)+,a0
        move.b  (a2)+,(a0)              | the other timer's bits already there
        pea     tick(pc)
        moveq   #0,d0
        move.b  (a2)+,d0
        move.w  d0,-(sp)                | data
        move.b  (a2)+,d0
        move.w  d0,-(sp)                | control
        move.w  d7,-(sp)
        move.w  #31,-(sp)               | Xbtimer
        trap    #14
        lea     12(sp),sp
        move.b  (a0),d0
        cmp.b   (a2),d0
        bne     fail
        rts
| Control register, the other timer's bits there, data, control, and the
| register's value afterwards. Prescalers: A 4, B 16, C 64, D 200.
xbt_rows:
        .word   0xfa19
        .byte   0, 246, 1, 0x01
        .word   0xfa1b
        .byte   0, 100, 3, 0x03
        .word   0xfa1d
        .byte   0x07, 96, 5, 0x57
        .word   0xfa1d
        .byte   0x50, 30, 7, 0x57

        .even
block:  .long   0
old:    .long   0
level:  .byte   0
        .even
tune_end:
