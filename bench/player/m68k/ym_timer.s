| A YM tune driven by timer C at 200 Hz, as many ST tunes are: each tick
| writes all the sound registers. Three voices walk a 16-row song: a lead
| and a bass with decaying volumes and an envelope-driven buzz, a noise
| hit on every fourth row, a new row every 10 ticks (20 rows a second).
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   lea     tick(pc),a0
        move.l  a0,0x114.w              | timer C vector (VR 0x40)
        move.b  #192,0xfffffa23.w       | 2457600 / 64 / 192 = 200 Hz
        move.b  #0x50,0xfffffa1d.w      | timer C: prescaler 64
        bset    #5,0xfffffa09.w         | IERB
        bset    #5,0xfffffa15.w         | IMRB
done:   rts

tick:   movem.l d0-d3/a0-a2,-(sp)
        lea     state(pc),a1
        lea     0xffff8800.w,a0
        move.w  (a1),d0                 | tick within the row
        move.w  2(a1),d1                | row
        addq.w  #1,d0
        cmp.w   #10,d0
        blo.s   1f
        moveq   #0,d0
        addq.w  #1,d1
        and.w   #15,d1
1:      move.w  d0,(a1)
        move.w  d1,2(a1)
        lea     song(pc),a2             | three periods per row
        mulu    #6,d1
        adda.w  d1,a2
        moveq   #0,d2                   | R0-R5: the periods
        moveq   #2,d3
2:      move.w  (a2)+,d1
        move.b  d2,(a0)
        move.b  d1,2(a0)
        addq.b  #1,d2
        lsr.w   #8,d1
        move.b  d2,(a0)
        move.b  d1,2(a0)
        addq.b  #1,d2
        dbra    d3,2b
        move.l  #0x06000c00,(a0)        | R6: noise period 12
        move.w  2(a1),d1
        and.w   #3,d1
        seq     d1                      | noise on B every fourth row
        and.b   #0x10,d1
        eor.b   #0x38,d1
        move.b  #7,(a0)
        move.b  d1,2(a0)
        moveq   #15,d1                  | R8, R9: decaying volumes
        sub.w   d0,d1
        move.b  #8,(a0)
        move.b  d1,2(a0)
        lsr.b   #1,d1
        addq.b  #4,d1
        move.b  #9,(a0)
        move.b  d1,2(a0)
        move.l  #0x0a001000,(a0)        | R10: C follows the envelope
        move.l  #0x0b004000,(a0)        | R11, R12: envelope period 0x0140
        move.l  #0x0c000100,(a0)
        tst.w   d0
        bne.s   3f
        move.l  #0x0d000a00,(a0)        | R13: restart the buzz each row
3:      movem.l (sp)+,d0-d3/a0-a2
        rte

song:   .word   284,568,1136, 253,568,1136, 225,568,1136, 253,568,1136
        .word   213,426,852, 225,426,852, 253,426,852, 284,426,852
        .word   190,506,1012, 213,506,1012, 225,506,1012, 253,506,1012
        .word   284,568,1136, 338,568,1136, 301,568,1136, 284,568,1136
state:  .word   0, 0
