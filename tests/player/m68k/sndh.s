| The body of a two-tune SNDH file (the build puts the header in front).
| Init asks TOS for supervisor mode, the GEMDOS version and a block of
| memory, stores the sub-tune's tone period in the block, runs an illegal
| instruction and has XBIOS Xbtimer start timer A, whose handler writes
| the period from the block to YM channel A: a steady tone, or silence
| when any of these fails.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   movem.l d0-a6,-(sp)
        clr.l   -(sp)                   | Super(0)
        move.w  #0x20,-(sp)
        trap    #1
        addq.l  #6,sp
        move.w  #0x30,-(sp)             | Sversion: TOS 1.04
        trap    #1
        addq.l  #2,sp
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
        move.l  (sp),d0                 | sub-tune 1: period 284, 2: 142
        move.w  #568,d1
        lsr.w   d0,d1
        move.w  d1,(a0)
        illegal
        lea     0xffff8800.w,a0
        move.l  #0x07003e00,(a0)        | tone A only, volume 15
        move.l  #0x08000f00,(a0)
        pea     tick(pc)                | Xbtimer(A, /200, 123, tick)
        move.w  #123,-(sp)
        move.w  #7,-(sp)
        clr.w   -(sp)
        move.w  #31,-(sp)
        trap    #14
        lea     12(sp),sp
fail:   movem.l (sp)+,d0-a6
done:   rts
tick:   movem.l d0/a0,-(sp)
        movea.l block(pc),a0
        move.w  (a0),d0
        lea     0xffff8800.w,a0
        move.b  #0,(a0)
        move.b  d0,2(a0)
        lsr.w   #8,d0
        move.b  #1,(a0)
        move.b  d0,2(a0)
        movem.l (sp)+,d0/a0
        rte
        .even
block:  .long   0
