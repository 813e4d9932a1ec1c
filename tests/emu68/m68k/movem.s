| MOVEM: registers saved with -(An), reloaded with (An)+, and word loads
| sign-extended.
|   0x2000   D0-D7/A0-A6 as stored by movem.l ...,-(a7) (60 bytes)
|   0x2040.l a7 after the store, minus the stack top
|   0x2044   d0-d2 after movem.w (a0)+ of 0x8000, 0x7fff, 0xffff (3 longs)
|   0x2050.l a0 after that load minus the start
        .text
start:
        move.l  sp,a5
        moveq   #1,d0
        moveq   #2,d1
        moveq   #3,d2
        moveq   #4,d3
        moveq   #5,d4
        moveq   #6,d5
        moveq   #7,d6
        moveq   #8,d7
        move.l  #0xa0a0a0a0,a0
        move.l  #0xa1a1a1a1,a1
        move.l  #0xa2a2a2a2,a2
        move.l  #0xa3a3a3a3,a3
        move.l  #0xa4a4a4a4,a4
        move.l  #0xa6a6a6a6,a6
        movem.l d0-d7/a0-a6,-(sp)
        move.l  sp,d0
        sub.l   a5,d0
        move.l  d0,0x2040
        | clobber everything, then reload from the stack into 0x2000
        moveq   #0,d0
        move.l  d0,d1
        move.l  d0,a0
        movem.l (sp)+,d0-d7/a0-a6
        movem.l d0-d7/a0-a6,0x2000
        lea     words(pc),a0
        move.l  a0,a1
        movem.w (a0)+,d0-d2
        movem.l d0-d2,0x2044
        sub.l   a1,a0
        move.l  a0,0x2050
        rts
words:  .word   0x8000,0x7fff,0xffff
