| Loops and arithmetic: results are stored from 0x2000 on.
|   0x2000.l  sum of 1..100
|   0x2004.l  fib(30)
|   0x2008    16 words sorted ascending (signed) by a bubble sort
|   0x2028.w  count of set bits in 0xDEADBEEF
        .text
start:
        moveq   #0,d0
        moveq   #100,d1
sum:    add.l   d1,d0
        subq.w  #1,d1
        bne.s   sum
        move.l  d0,0x2000

        moveq   #0,d0                   | fib(0)
        moveq   #1,d1                   | fib(1)
        moveq   #28,d2                  | 29 steps: fib(30)
fib:    move.l  d1,d3
        add.l   d0,d1
        move.l  d3,d0
        dbra    d2,fib
        move.l  d1,0x2004

        lea     unsorted(pc),a0
        lea     0x2008,a1
        moveq   #15,d0
copy:   move.w  (a0)+,(a1)+
        dbra    d0,copy
        moveq   #14,d2                  | passes
pass:   lea     0x2008,a0
        move.w  d2,d1
cmp:    move.w  (a0),d3
        cmp.w   2(a0),d3
        ble.s   ordered
        move.w  2(a0),(a0)
        move.w  d3,2(a0)
ordered:
        addq.l  #2,a0
        dbra    d1,cmp
        dbra    d2,pass

        move.l  #0xdeadbeef,d0
        moveq   #0,d1
        moveq   #31,d2
bits:   lsr.l   #1,d0
        bcc.s   zero
        addq.w  #1,d1
zero:   dbra    d2,bits
        move.w  d1,0x2028
        rts

unsorted:
        .word   300,-5,7,0x7fff,-32768,12,12,0,-1,1000,42,-42,3,2,1,9
