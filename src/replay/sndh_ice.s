| sndh_ice: plays an SNDH tune. The player loads this code at the track's
| load address and the SNDH file right after it, then calls, like any
| track's code:
|   +0 init  A0 = the SNDH file, D0 = sub-tune number, D2 = file size
|   +4 exit
|   +8 play  once per replay frame
| Each calls the tune's entry at the same offset, saving every register
| around it as SNDH tunes expect. The engine's low memory already has every
| exception vector on an RTE, the XBIOS and the cookie jar; init adds
| TRAP #1 (GEMDOS) and #13 (BIOS) for the calls tunes make. The code is
| position independent.
        .text
        bra.w   init
        bra.w   exit
        bra.w   play

| Malloc hands blocks out from heap_top downwards (the stack has the 32 KiB
| above, A7 starting 16 bytes below the top of the 512 KiB), never below
| bss_room bytes past the tune's end, where its uninitialised data lies.
heap_top = 0x78000
bss_room = 0x10000
| GEMDOS version word of TOS 1.04 (GEMDOS 0.21), as Sversion returns it.
tos104_gemdos = 0x1500

init:
        movem.l d0-a6,-(sp)
        lea     tune(pc),a1
        move.l  a0,(a1)+
        move.l  a0,d1
        add.l   d2,d1
        add.l   #bss_room+1,d1
        bclr    #0,d1
        move.l  d1,(a1)+                | heap floor
        move.l  #heap_top,(a1)          | heap
        lea     gemdos(pc),a1
        move.l  a1,0x84.w
        lea     bios(pc),a1
        move.l  a1,0xb4.w
        movem.l (sp),d0-a6
        movea.l tune(pc),a0
        jsr     (a0)
        movem.l (sp)+,d0-a6
        rts

| Exit and play. On the ST the tune's play routine runs from an interrupt
| whose RTE gives the status register back: a tune that leaves the
| interrupts masked gets them again here.
exit:
        moveq   #4,d0
        bra.s   call
play:
        moveq   #8,d0
call:   move.w  sr,-(sp)
        movem.l d0-a6,-(sp)
        movea.l tune(pc),a0
        jsr     0(a0,d0.w)
        movem.l (sp)+,d0-a6
        move.w  (sp)+,sr
        rts

| Trap handlers. On entry: SR at (sp), PC at 2(sp), the function number at
| 6(sp) and its arguments from 8(sp) on. D0 gets the result (0 for the
| calls not served, Mfree and Mshrink among them).
gemdos:
        move.w  6(sp),d0
        cmp.w   #0x20,d0
        beq.s   super
        cmp.w   #0x30,d0
        beq.s   sversion
        cmp.w   #0x48,d0
        beq.s   malloc
        cmp.w   #0x44,d0                | Mxalloc: all our memory is ST RAM
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
| Malloc(size): an even block, 0 when it does not fit; Malloc(-1): the
| free size.
malloc:
        movem.l d1/a1,-(sp)
        lea     heap(pc),a1
        move.l  (a1),d0
        sub.l   heap_floor(pc),d0
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
2:      sub.l   d1,(a1)
        move.l  (a1),d0
3:      movem.l (sp)+,d1/a1
        rte

| BIOS: Setexc(number, address) returns the vector and sets it unless the
| address is -1. Vector numbers from 0x100 are the system's (0x400 on).
bios:
        cmp.w   #5,6(sp)
        beq.s   setexc
        moveq   #0,d0
        rte
setexc:
        movem.l d1/a1,-(sp)
        move.w  8+8(sp),d1
        and.w   #0x1ff,d1
        add.w   d1,d1
        add.w   d1,d1
        movea.w d1,a1
        move.l  (a1),d0
        move.l  8+10(sp),d1
        cmp.l   #-1,d1
        beq.s   1f
        move.l  d1,(a1)
1:      movem.l (sp)+,d1/a1
        rte

        .even
tune:   .long   0
heap_floor:
        .long   0
heap:   .long   0
