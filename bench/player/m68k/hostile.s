| Replay code that tries to take the engine's time, by D0:
|   1  a play routine of 49 million instructions
|   2  all four MFP timers at their highest rate (2,457,600 / 4 Hz), each
|      handler a loop of about 200 instructions
|   3  two million illegal instructions per play call, each returning
|      through its exception handler
        .text
        bra.w   init
        bra.w   done
        bra.w   play
init:   lea     mode(pc),a0
        move.w  d0,(a0)
        cmp.w   #2,d0
        bne.s   1f
        lea     slow(pc),a0             | MFP vectors (base 0x40): D, C, B, A
        move.l  a0,0x110.w
        move.l  a0,0x114.w
        move.l  a0,0x120.w
        move.l  a0,0x134.w
        lea     0xfffffa00.w,a0
        move.b  #1,0x1f(a0)             | data registers: 1
        move.b  #1,0x21(a0)
        move.b  #1,0x23(a0)
        move.b  #1,0x25(a0)
        move.b  #1,0x19(a0)             | prescaler 4 on A, B, C and D
        move.b  #1,0x1b(a0)
        move.b  #0x11,0x1d(a0)
        move.b  #0x21,0x07(a0)          | enable and unmask A, B, C, D
        move.b  #0x30,0x09(a0)
        move.b  #0x21,0x13(a0)
        move.b  #0x30,0x15(a0)
1:      lea     skip(pc),a0             | illegal instructions go on
        move.l  a0,0x10.w
done:   rts
play:   move.w  mode(pc),d0
        cmp.w   #1,d0
        bne.s   2f
        move.l  #49000000,d1
1:      subq.l  #1,d1
        bne.s   1b
        rts
2:      cmp.w   #3,d0
        bne.s   done
        move.l  #2000000,d1
3:      illegal
        subq.l  #1,d1
        bne.s   3b
        rts
slow:   move.w  d0,-(sp)
        move.w  #99,d0
1:      dbra    d0,1b
        move.w  (sp)+,d0
        rte
skip:   addq.l  #2,2(sp)
        rte
mode:   .word   0
