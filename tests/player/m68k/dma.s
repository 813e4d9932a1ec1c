| The body of an SNDH file of five sub-tunes playing STE DMA sound from MFP
| interrupts (the build puts the header in front). D0 picks the sub-tune:
| 1  timer A in delay mode at 1024 Hz (data 12, prescaler 200) starts the
|    DMA again (play off, then on) on the other of two 16-byte loops, of
|    bytes 100 and -100, mono at 50066 Hz: a 512 Hz square switching at
|    the interrupts.
| 2  the six blocks below loop (mono, 12516 Hz) in turn: timer A in event
|    count mode (data 2) counts the frame ends, and its handler sets the
|    frame registers to the next block, which starts at the next frame
|    end. Block 0 plays once, then every block twice.
| 3  the blocks without loop, each started from the GPIP 7 interrupt (AER
|    bit 7 set: at the end of a frame) as the previous one ends: each once.
| 4  the loudest YM (timer D at 409.6 Hz toggles the three channels, tones
|    and noises off, between volume 0 and 15 together) and a full-scale
|    DMA square (32 bytes 127, 32 bytes -128, mono at 6258 Hz).
| 5  the same with the LMC1992 set to mixer 2: the DMA alone.
        .equ    DMA, 0xffff8900
        .equ    YM, 0xffff8800
        .text
        bra.w   init
        bra.w   done
        bra.w   done

init:   lea     DMA.w,a1
        subq.w  #1,d0
        add.w   d0,d0
        move.w  subtunes(pc,d0.w),d0
        jmp     subtunes(pc,d0.w)
subtunes:
        .word   timer-subtunes, count-subtunes, gpip-subtunes, loud-subtunes
        .word   alone-subtunes
done:   rts

| 1: two loops switched by timer A.
timer:  move.b  #0x83,0x21(a1)          | mono, 50066 Hz
        lea     high(pc),a0
        lea     16(a0),a2
        bsr     frame
        move.b  #3,1(a1)                | play, loop
        lea     switch(pc),a0
        move.l  a0,0x134.w
        move.b  #12,0xfffffa1f.w        | timer A data
        move.b  #7,0xfffffa19.w         | prescaler 200
        bra     timer_a_on
switch: movem.l d0-d1/a0-a2,-(sp)
        lea     DMA.w,a1
        lea     which(pc),a0
        eori.b  #1,(a0)
        lea     high(pc),a0
        beq.s   1f
        lea     low(pc),a0
1:      lea     16(a0),a2
        bsr     frame
        clr.b   1(a1)                   | stop, and start again at once
        move.b  #3,1(a1)
        movem.l (sp)+,d0-d1/a0-a2
        rte

| 2: blocks in turn, counted by timer A.
count:  move.b  #0x81,0x21(a1)          | mono, 12516 Hz
        moveq   #0,d1
        bsr     block
        move.b  #3,1(a1)
        moveq   #1,d1                   | the next, from the first frame end
        bsr     block
        lea     counted(pc),a0
        move.l  a0,0x134.w
        move.b  #2,0xfffffa1f.w
        move.b  #8,0xfffffa19.w         | event count
timer_a_on:
        ori.b   #0x20,0xfffffa07.w      | IERA, IMRA
        ori.b   #0x20,0xfffffa13.w
        rts
counted:
        movem.l d0-d3/a0-a2,-(sp)
        lea     DMA.w,a1
        bsr     next_block
        movem.l (sp)+,d0-d3/a0-a2
        rte

| 3: blocks one after the other, from GPIP 7.
gpip:   move.b  #0x81,0x21(a1)
        lea     ended(pc),a0
        move.l  a0,0x13c.w
        ori.b   #0x80,0xfffffa03.w      | AER: rising GPIP 7, the frame ends
        ori.b   #0x80,0xfffffa07.w
        ori.b   #0x80,0xfffffa13.w
        moveq   #0,d1
        bsr     block
        move.b  #1,1(a1)                | play, no loop
        rts
ended:  movem.l d0-d3/a0-a2,-(sp)
        lea     DMA.w,a1
        bsr     next_block
        move.b  #1,1(a1)
        movem.l (sp)+,d0-d3/a0-a2
        rte

| 4 and 5: the loudest YM and a full-scale DMA square.
alone:  move.w  #0x07ff,0x24(a1)        | MicroWire mask, then mixer 2
        move.w  #0x0402,0x22(a1)
loud:   move.l  #0x07003f00,YM.w        | tones and noises off
        move.b  #0x80,0x21(a1)          | mono, 6258 Hz
        lea     square(pc),a0
        lea     64(a0),a2
        bsr     frame
        move.b  #3,1(a1)
        lea     toggle(pc),a0
        move.l  a0,0x110.w
        move.b  #30,0xfffffa25.w        | timer D data
        ori.b   #7,0xfffffa1d.w         | prescaler 200
        ori.b   #0x10,0xfffffa09.w      | IERB, IMRB
        ori.b   #0x10,0xfffffa15.w
        rts
toggle: movem.l d0-d1/a0,-(sp)
        lea     level(pc),a0
        eori.b  #15,(a0)
        move.b  (a0),d0
        moveq   #8,d1                   | volumes A, B, C
1:      move.b  d1,YM.w
        move.b  d0,YM+2.w
        addq.b  #1,d1
        cmp.b   #11,d1
        bne.s   1b
        movem.l (sp)+,d0-d1/a0
        rte

| The frame registers (A1 the DMA's) from A0 to A2, leaving the control
| register alone.
frame:  move.l  a0,d0
        swap    d0
        move.b  d0,3(a1)
        swap    d0
        movep.w d0,5(a1)
        move.l  a2,d0
        movep.l d0,13(a1)               | its high byte lands on the counter
        rts

| The frame registers to the block after the current one (kept in `index`).
next_block:
        lea     index(pc),a0
        move.b  (a0),d1
        addq.b  #1,d1
        cmp.b   #6,d1
        bne.s   1f
        moveq   #0,d1
1:      ext.w   d1
| The frame registers to block D1 (0-5).
block:  lea     index(pc),a0
        move.b  d1,(a0)
        add.w   d1,d1
        lea     offsets(pc),a0
        move.w  0(a0,d1.w),d2
        move.w  2(a0,d1.w),d3
        lea     blocks(pc),a0
        lea     0(a0,d3.w),a2
        adda.w  d2,a0
        bra     frame

which:  .byte   0
level:  .byte   0
index:  .byte   0
        .even
| Six blocks: lengths 200, 350, 500, 276, 424, 150; bytes 10, 25, 40, 55,
| 70, 85.
offsets:
        .word   0, b1-blocks, b2-blocks, b3-blocks, b4-blocks, b5-blocks, end-blocks
blocks: .fill   200,1,10
b1:     .fill   350,1,25
b2:     .fill   500,1,40
b3:     .fill   276,1,55
b4:     .fill   424,1,70
b5:     .fill   150,1,85
end:
high:   .fill   16,1,100
low:    .fill   16,1,-100
square: .fill   32,1,127
        .fill   32,1,-128
