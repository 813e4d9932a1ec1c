| Amiga Paula: looping square waves of +-100, 32 bytes a cycle. D0 = 1-4
| plays voice D0-1 alone at the period and volume of its row; D0 = 5 all four.
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   lea     wave(pc),a0
        moveq   #31,d1
1:      moveq   #100,d2
        btst    #4,d1
        bne.s   2f
        neg.b   d2
2:      move.b  d2,(a0)+
        dbra    d1,1b
        lea     voices(pc),a2
        lea     0xffdff0a0,a1
        moveq   #0,d1                   | voice
        move.w  #0x8200,d3              | DMACON: set master + voices
3:      move.l  d1,d2
        addq.w  #1,d2
        cmp.w   #5,d0
        beq.s   4f
        cmp.w   d0,d2
        bne.s   5f
4:      lea     wave(pc),a0
        move.l  a0,(a1)                 | location
        move.w  #16,4(a1)               | length in words
        move.w  (a2),6(a1)              | period
        move.w  2(a2),8(a1)             | volume
        bset    d1,d3
5:      addq.l  #4,a2
        lea     16(a1),a1
        addq.w  #1,d1
        cmp.w   #4,d1
        bne.s   3b
        move.w  d3,0xffdff096           | DMACON
done:   rts
| period, volume
voices: .word   200, 64, 300, 48, 400, 32, 500, 16
        .even
wave:   .space  32
