| The body of a two-tune SNDH file (the build puts the header in front).
| Init asks TOS for supervisor mode, the GEMDOS version (TOS 1.04) and a
| block of memory, stores the sub-tune's tone period (1: 284, 2: 142) in
| the block, keeps it in D0 across an illegal instruction, and has XBIOS
| Xbtimer start timer A, whose handler writes the period to YM channel A:
| a steady tone, or a wrong one or silence when any of it fails.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   movem.l d0-a6,-(sp)
        clr.l   -(sp)                   | Super(0)
        move.w  #0x20,-(sp)
        trap    #1
        move.w  #0x30,(sp)              | Sversion
        trap    #1
        addq.l  #6,sp
        cmp.w   #0x1500,d0
        bne.s   fail
        pea     16.w                    | Malloc(16)
        move.w  #0x48,-(sp)
        trap    #1
        addq.l  #6,sp
        tst.l   d0
        beq.s   fail
        btst    #0,d0
        bne.s   fail
        movea.l d0,a0
        lea     block(pc),a1
        move.l  a0,(a1)
        move.w  #568,d0
        move.l  (sp),d1
        lsr.w   d1,d0
        illegal
        move.w  d0,(a0)
        move.l  #0x07003e00,0xffff8800.w  | tone A only, volume 15
        move.l  #0x08000f00,0xffff8800.w
        pea     tick(pc)                | Xbtimer(A, /200, 123, tick)
        move.l  #0x0007007b,-(sp)
        move.l  #0x001f0000,-(sp)
        trap    #14
        lea     12(sp),sp
fail:   movem.l (sp)+,d0-a6
done:   rts
tick:   movem.l d0/a0,-(sp)
        movea.l block(pc),a0
        move.w  (a0),d0
        move.b  #0,0xffff8800.w
        move.b  d0,0xffff8802.w
        lsr.w   #8,d0
        move.b  #1,0xffff8800.w
        move.b  d0,0xffff8802.w
        movem.l (sp)+,d0/a0
        rte
block:  .long   0
