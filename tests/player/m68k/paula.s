| Amiga Paula: a looping square wave of +-100, 32 bytes a cycle, on voice
| D0-1 alone (D0 = 1-4) at the period and volume of its row, or on all four
| voices (D0 = 5).
        .text
        bra.w   init
        bra.w   done
        bra.w   done
init:   lea     voices(pc),a2
        lea     0xffdff0a0,a1
        lea     wave(pc),a0
        move.w  #0x8200,d3              | DMACON: set the master and voice bits
        moveq   #0,d1                   | voice
1:      cmp.w   #5,d0
        beq.s   2f
        move.w  d1,d2
        addq.w  #1,d2
        cmp.w   d0,d2
        bne.s   3f
2:      move.l  a0,(a1)                 | location, length in words
        move.w  #16,4(a1)
        move.l  (a2),6(a1)              | period, volume
        bset    d1,d3
3:      addq.l  #4,a2
        lea     16(a1),a1
        addq.w  #1,d1
        cmp.w   #4,d1
        bne.s   1b
        move.w  d3,0xffdff096
done:   rts
voices: .word   200,64, 300,48, 400,32, 500,16
wave:   .fill 16,1,100; .fill 16,1,-100
