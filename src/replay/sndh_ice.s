| sndh_ice: plays an SNDH tune. The player loads this code at the track's
| load address and the SNDH file right after it, then calls, like any
| track's code:
|   +0 init  A0 = the SNDH file, D0 = sub-tune number, D2 = file size
|   +4 exit
|   +8 play  once per replay frame
| Each calls the tune's entry at the same offset, saving every register
| around it as SNDH tunes expect. Init also gives the tune a small TOS:
| every exception vector up to TRAP #15 is set, so a stray exception
| (bus or address error, illegal instruction, division by zero, privilege
| violation, line A/F, spurious interrupt, unused trap) returns instead of
| running through address 0, and TRAP #1 (GEMDOS), #13 (BIOS) and #14
| (XBIOS) answer the calls tunes make. The code is position independent.
        .text
        bra.w   init
        bra.w   exit
        bra.w   play

| Memory above this address is left to the stack (A7 starts 16 bytes
| below the top of the 512 KiB).
heap_end = 0x78000
| GEMDOS version word of TOS 1.04 (GEMDOS 0.21), as Sversion returns it.
tos104_gemdos = 0x1500
| The engine's XBIOS routine (Supexec, Xbtimer, Kbdvbase, Iorec).
system_xbios = 0x600

init:
        movem.l d0-a6,-(sp)
        lea     tune(pc),a1
        move.l  a0,(a1)
        move.l  a0,d1                   | Malloc hands out the memory from
        add.l   d2,d1                   | the tune's (even) end upwards
        addq.l  #1,d1
        bclr    #0,d1
        lea     heap(pc),a1
        move.l  d1,(a1)
        lea     stray(pc),a1            | vectors 2 (bus error) to 47 (TRAP #15)
        lea     0x08.w,a2
        moveq   #47-2,d1
1:      move.l  a1,(a2)+
        dbra    d1,1b
        lea     gemdos(pc),a1
        move.l  a1,0x84.w
        lea     bios(pc),a1
        move.l  a1,0xb4.w
        lea     xbios(pc),a1
        move.l  a1,0xb8.w
        movem.l (sp),d0-a6
        movea.l tune(pc),a0
        jsr     (a0)
        movem.l (sp)+,d0-a6
        rts

exit:
        moveq   #4,d0
        bra.s   call
play:
        moveq   #8,d0
call:   movem.l d0-a6,-(sp)
        movea.l tune(pc),a0
        jsr     0(a0,d0.w)
        movem.l (sp)+,d0-a6
        rts

| Exception handlers. On entry: SR at (sp), PC at 2(sp), and for a trap
| the function number at 6(sp) and its arguments from 8(sp) on.
stray:
        rte

bios:
        moveq   #0,d0
        rte

gemdos:
        move.w  6(sp),d0
        cmp.w   #0x20,d0
        beq.s   super
        cmp.w   #0x30,d0
        beq.s   sversion
        cmp.w   #0x48,d0
        beq.s   malloc
        moveq   #0,d0
        rte
| Super: the tune runs in supervisor mode already and stays there. Super(1)
| asks the mode (-1: supervisor); otherwise the "old stack" is the caller's.
super:
        moveq   #-1,d0
        cmp.l   #1,8(sp)
        beq.s   1f
        move.l  sp,d0
        addq.l  #6,d0
1:      rte
sversion:
        move.l  #tos104_gemdos,d0
        rte
| Malloc(size): an even block from the heap, 0 when it does not fit;
| Malloc(-1): the free size.
malloc:
        movem.l d1/a1,-(sp)
        lea     heap(pc),a1
        move.l  #heap_end,d0
        sub.l   (a1),d0
        bcc.s   1f
        moveq   #0,d0
1:      move.l  8+8(sp),d1
        cmp.l   #-1,d1
        beq.s   3f
        addq.l  #1,d1
        bclr    #0,d1
        cmp.l   d0,d1
        bls.s   2f
        moveq   #0,d0
        bra.s   3f
2:      move.l  (a1),d0
        add.l   d1,(a1)
3:      movem.l (sp)+,d1/a1
        rte

| XBIOS: the engine's routine at 0x600 serves Supexec (38), Xbtimer (31),
| Kbdvbase (34) and Iorec (14); other calls return 0. Xbtimer also enables
| the timer's interrupt in the MFP (IERx and IMRx), as TOS does.
xbios:
        cmp.w   #31,6(sp)
        beq.s   xbtimer
        cmp.w   #38,6(sp)
        beq.s   1f
        cmp.w   #34,6(sp)
        beq.s   1f
        cmp.w   #14,6(sp)
        beq.s   1f
        moveq   #0,d0
        rte
1:      jmp     system_xbios.w
xbtimer:
        movem.l d0-d2/a0,-(sp)
        move.w  16+8(sp),d0             | timer 0-3: A, B, C, D
        and.w   #3,d0
        add.w   d0,d0
        moveq   #0,d1
        move.b  mfp_bits(pc,d0.w),d1
        move.b  mfp_bits+1(pc,d0.w),d2
        lea     0xfffffa00.w,a0
        bset    d2,0(a0,d1.w)           | IERA / IERB
        bset    d2,12(a0,d1.w)          | IMRA / IMRB
        movem.l (sp)+,d0-d2/a0
        jmp     system_xbios.w
| Per timer: offset of its enable register from 0xFFFFFA00, and its bit.
mfp_bits:
        .byte   0x07,5, 0x07,0, 0x09,5, 0x09,4

        .even
tune:   .long   0
heap:   .long   0
