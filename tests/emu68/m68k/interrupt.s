| An interrupt handler ending in RTE. The frame's routine installs the
| handler and returns; the frame runner then delivers the timer's
| interrupts. The handler reads the test chip's cycle register at
| 0xFFFFFA00 and appends it to a table.
|   0x2000.w  interrupts taken
|   0x2002.w  SR seen by the handler (last call)
|   0x2004    one long per interrupt: the cycle the chip saw
        .text
start:
        move.l  #handler,0x134
        rts

handler:
        movem.l d0/a0,-(sp)
        move.w  sr,0x2002
        move.w  0x2000,d0
        lsl.w   #2,d0
        lea     0x2004,a0
        move.l  0xfffffa00,0(a0,d0.w)
        addq.w  #1,0x2000
        movem.l (sp)+,d0/a0
        rte
