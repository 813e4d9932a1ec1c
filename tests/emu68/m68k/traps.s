| Exceptions through a vector table: TRAP #3, division by zero, CHK, an
| illegal opcode and a line-A opcode, each handler counting its calls.
|   0x2000.l  d0 after TRAP #3 (the handler adds 0x100)
|   0x2004.w  SR seen by the TRAP handler
|   0x2006.w  calls of the divide-by-zero handler
|   0x2008.w  calls of the CHK handler
|   0x200a.w  calls of the illegal handler
|   0x200c.w  calls of the line-A handler
|   0x200e.w  d1 low word after the division by zero (unchanged)
|   0x2010.w  SR after all handlers returned (mask back to 3)
        .text
start:
        move.l  #trap3,0x8c
        move.l  #divzero,0x14
        move.l  #chk,0x18
        move.l  #illegal_op,0x10
        move.l  #linea,0x28
        clr.l   0x2006
        clr.l   0x200a
        moveq   #5,d0
        trap    #3
        move.l  d0,0x2000
        move.l  #0x12345,d1
        moveq   #0,d2
        divu.w  d2,d1
        move.w  d1,0x200e
        moveq   #-1,d3
        chk.w   #10,d3                  | below 0: exception
        moveq   #5,d3
        chk.w   #10,d3                  | in bounds: nothing
        moveq   #11,d3
        chk.w   #10,d3                  | above the bound: exception
        .word   0x4afc                  | ILLEGAL
        .word   0xa123                  | line A
        move.w  sr,0x2010
        rts

trap3:  add.l   #0x100,d0
        move.w  sr,0x2004
        rte
divzero:
        addq.w  #1,0x2006
        rte
chk:    addq.w  #1,0x2008
        rte
illegal_op:
        addq.w  #1,0x200a
        rte
linea:  addq.w  #1,0x200c
        rte
