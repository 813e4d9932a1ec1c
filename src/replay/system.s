| The low memory of the emulated ST as every track finds it, linked at
| address 0 and copied there before the track's init runs:
|   0x000      an RTE
|   0x008-3FF  every exception vector on an RTE (bus and address error,
|              illegal instruction, line A/F, spurious interrupt, the
|              autovectors with the HBL at 0x68 and the VBL at 0x70, the
|              traps, the MFP's 16 vectors at 0x100-0x13C and the user
|              vectors), but TRAP #14 on the XBIOS routine
|   0x41A      the divider of the 200 Hz system tick
|   0x5A0      _p_cookies, the cookie jar's address
|   0x600      the XBIOS routine, its tables and the cookie jar
| Everything ends below 0x800, where a track may load.

        .equ    MFP_IERB, 0xfffffa09    | enable B; IERA 2 below, the masks 12 above
        .equ    MFP_VR, 0xfffffa17      | vector base in bits 7-4
        .equ    MFP_TADR, 0xfffffa1f    | timer data registers, A-D 2 apart
        .equ    MFP, 0xfffffa00
        .equ    YM, 0xffff8800          | register select and read; data at +2
        .equ    YM_PORT_A, 14

        .text
        .word   0x4e73, 0
        .long   0
        .rept   44                      | vectors 2-45: errors, autovectors, TRAP #0-#13
        .long   ignore
        .endr
        .long   xbios                   | vector 46: TRAP #14
        .rept   209                     | vectors 47-255: TRAP #15, MFP, user
        .long   ignore
        .endr

        .org    0x41a
        .word   0x0010
        .org    0x5a0
        .long   cookies

| XBIOS (TRAP #14). On entry: SR at (sp), PC at 2(sp), the function number
| at 6(sp) and its arguments from 8(sp) on. D0 gets the result; every other
| register is kept. Functions not in the table (Dosound among them) return
| 0 at once.
        .org    0x600
xbios:  movem.l d1-d4/a0-a2,-(sp)
        lea     28+6(sp),a0
        move.w  (a0)+,d0                | the function; A0: its arguments
        lea     calls.w,a1
1:      move.w  (a1)+,d1
        bmi.s   2f
        movea.w (a1)+,a2
        cmp.w   d1,d0
        bne.s   1b
        jsr     (a2)
        bra.s   3f
2:      moveq   #0,d0
3:      movem.l (sp)+,d1-d4/a0-a2
ignore: rte

calls:  .word   13, mfpint
        .word   14, iorec
        .word   26, jdisint
        .word   27, jenabint
        .word   28, giaccess
        .word   29, offgibit
        .word   30, ongibit
        .word   31, xbtimer
        .word   34, kbdvbase
        .word   38, supexec
        .word   -1

| Supexec(routine): D0 is the routine's.
supexec:
        movem.l d5-d7/a3-a6,-(sp)
        movea.l (a0),a0
        jsr     (a0)
        movem.l (sp)+,d5-d7/a3-a6
        rts

| MFP interrupt D0 (0-15): A1 = its enable register, IERB for 0-7 and IERA
| for 8-15 (the mask register is 12 bytes above), D1 = its bit.
irq_bit:
        moveq   #15,d1
        and.w   d0,d1
        lea     MFP_IERB.w,a1
        bclr    #3,d1
        beq.s   1f
        subq.w  #2,a1
1:      rts

| MFP interrupt D0: A1 = its vector, the base in VR plus the number.
irq_vector:
        moveq   #15,d1
        and.w   d0,d1
        moveq   #0,d2
        move.b  MFP_VR.w,d2
        and.b   #0xf0,d2
        add.w   d2,d1
        add.w   d1,d1
        add.w   d1,d1
        movea.w d1,a1
        rts

| Jdisint(number) and Jenabint(number): the interrupt's enable and mask
| bits.
jdisint:
        move.w  (a0),d0
disable:
        bsr.s   irq_bit
        bclr    d1,(a1)
        bclr    d1,12(a1)
        rts
jenabint:
        move.w  (a0),d0
enable: bsr.s   irq_bit
        bset    d1,(a1)
        bset    d1,12(a1)
        rts

| Mfpint(number, vector): as TOS, disables the interrupt and sets its
| vector; Jenabint enables it again.
mfpint: move.w  (a0)+,d0
        bsr.s   disable
        bsr.s   irq_vector
        move.l  (a0),(a1)
        rts

| Xbtimer(timer 0-3 for A-D, control, data, vector): disables the timer's
| interrupt, stops the timer, sets its vector and data, starts it with the
| control value and enables the interrupt (enable and mask bits), as TOS.
xbtimer:
        moveq   #3,d3
        and.w   (a0)+,d3
        move.w  d3,d4
        add.w   d4,d4
        add.w   d4,d4
        lea     timers.w,a2
        adda.w  d4,a2
        moveq   #0,d0
        move.b  (a2)+,d0                | the timer's interrupt
        bsr.s   disable
        bsr.s   irq_vector
        move.l  4(a0),(a1)
        lea     MFP.w,a1
        moveq   #0,d1
        move.b  (a2)+,d1
        adda.w  d1,a1                   | control register
        move.b  (a2)+,d4                | the timer's bits in it
        move.b  d4,d1
        not.b   d1
        and.b   d1,(a1)                 | stopped
        move.b  (a2),d2
        move.w  (a0)+,d1                | control
        lsl.b   d2,d1
        and.b   d4,d1
        add.w   d3,d3
        lea     MFP_TADR.w,a2
        move.b  1(a0),0(a2,d3.w)        | data
        or.b    d1,(a1)
        bra.s   enable
| Per timer: its MFP interrupt, its control register (offset from the
| MFP's base), its bits there and the shift of its control value. C and D
| share one register.
timers: .byte   13, 0x19, 0xff, 0
        .byte   8, 0x1b, 0xff, 0
        .byte   5, 0x1d, 0x70, 4
        .byte   4, 0x1d, 0x07, 0

| Giaccess(data, register): a register number with bit 7 set is written
| first; D0 = the register's value.
giaccess:
        move.w  sr,-(sp)
        ori.w   #0x0700,sr
        lea     YM.w,a1
        moveq   #15,d0
        and.w   2(a0),d0
        move.b  d0,(a1)
        tst.b   3(a0)
        bpl.s   1f
        move.b  1(a0),2(a1)
1:      moveq   #0,d0
        move.b  (a1),d0
        move.w  (sp)+,sr
        rts

| Offgibit(mask) and Ongibit(mask): YM port A ANDed or ORed with the mask.
offgibit:
        bsr.s   port_a
        and.b   1(a0),d0
        bra.s   1f
ongibit:
        bsr.s   port_a
        or.b    1(a0),d0
1:      move.b  d0,2(a1)
        move.w  (sp)+,sr
        rts
| Masks the interrupts (the caller restores SR from its stack), selects
| port A: A1 = the YM, D0 = the port's value.
port_a: move.l  (sp)+,a1
        move.w  sr,-(sp)
        ori.w   #0x0700,sr
        move.l  a1,-(sp)
        lea     YM.w,a1
        move.b  #YM_PORT_A,(a1)
        moveq   #0,d0
        move.b  (a1),d0
        rts

| Kbdvbase: nine handlers that return at once. Iorec: an empty buffer.
kbdvbase:
        move.l  #kbdvecs,d0
ret:    rts
iorec:  move.l  #iorec_record,d0
        rts

        .even
kbdvecs:
        .rept   9
        .long   ret
        .endr
| Buffer, size, head, tail, low and high water marks.
iorec_record:
        .long   iorec_buffer
        .word   4, 0, 0, 1, 3
iorec_buffer:
        .long   0

| The cookie jar: the CPU (68000), the machine (an STE) and its sound (the
| YM, bit 0, and DMA sound, bit 1); the end entry holds the jar's size in
| entries, leaving room for a tune to add its own.
cookies:
        .ascii  "_CPU"
        .long   0
        .ascii  "_MCH"
        .long   0x00010000
        .ascii  "_SND"
        .long   3
        .long   0, 8
        .skip   4 * 8
        .org    0x800                   | (an error when the code grows past it)
