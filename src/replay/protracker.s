| ProTracker module replay for the emulated Amiga Paula and CIA-B.
|
| Entry points: +0 init (D0 = first song position), +8 play. The module
| (four channels, 31 sample slots with an "M.K.", "M!K!", "M&K!", "4CHN" or
| "FLT4" signature, else the original 15-slot layout) follows this code directly.
| The replay keeps its state in a work area after the module's samples and
| drives Paula and the CIA through their registers only.
|
| Timing: as on the Amiga, the ticks run in CIA-B's level 6 interrupt
| (autovector 0x78), timed by its timer A on the 709379 Hz E clock. A tick
| at tempo T lasts 2.5 / T s, 3546895 / (2 T) E clock ticks: the replay
| latches the whole ticks, and one more whenever the fractions (kept to
| 1/65536) add up past a whole. The first call of play (called 500 times a
| second) starts the timer and runs the first tick; later calls do nothing.
| The timer takes a new latch at its next underflow, so a tempo change
| lasts from the tick after the one that sets it.
|
| Periods and volumes go to Paula as the tracker has them: periods count
| the PAL colour clock, volumes (0-64) are linear.

        .equ    PAULA, 0xDFF000
        .equ    DMACON, 0x96
        .equ    INTENA, 0x9A
        .equ    INTREQ, 0x9C
        .equ    EXTER, 0x2000           | INTENA/INTREQ: the CIA-B line
        .equ    AUD0, 0xA0              | voice v at AUD0 + 16 v: LC.l, LEN, PER, VOL
        .equ    CIAB, 0xBFD000          | register r at CIAB + 0x100 r
        .equ    TALO, 0x400
        .equ    TAHI, 0x500
        .equ    ICR, 0xD00
        .equ    CRA, 0xE00
        .equ    CRA_RUN, 0x11           | START, LOAD (the counter takes the latch), continuous
        .equ    LEVEL6, 0x78            | the level 6 autovector
        .equ    E_TICKS_5S, 3546895     | E clock ticks in 5 s: 709379 x 5
        .equ    ST_TEMPO_STEP, 122      | E clock ticks per step of the 15-slot tempo byte
        .equ    ST_TEMPO_FASTEST, 228   | tempo byte of the shortest tick (2 ms)
        .equ    MIN_PERIOD, 113         | portamento limits: B-3 and C-1
        .equ    MAX_PERIOD, 856

| Sample record, one per slot.
        .equ    S_START, 0              | long: first byte played
        .equ    S_LENGTH, 4             | word: words played from the start
        .equ    S_LOOP, 6               | long: loop start
        .equ    S_REPLEN, 10            | word: loop length in words
        .equ    S_FINETUNE, 12          | byte: 0-15 (-8..7)
        .equ    S_VOLUME, 13            | byte: 0-64
        .equ    S_SIZE, 14

| Channel record. C_START to C_VOLUME are laid out like a sample record.
        .equ    C_VOICE, 0              | long: the voice's registers
        .equ    C_NOTE, 4               | word: row cell, sample high nibble and period
        .equ    C_CMD, 6                | word: row cell, sample low nibble, command, parameter
        .equ    C_START, 8
        .equ    C_LENGTH, 12
        .equ    C_LOOP, 14
        .equ    C_REPLEN, 18
        .equ    C_FINETUNE, 20
        .equ    C_VOLUME, 21
        .equ    C_PERIOD, 22            | word
        .equ    C_WANTED, 24            | word: tone portamento target, 0 = none
        .equ    C_DMABIT, 26            | word
        .equ    C_PORTASPEED, 28
        .equ    C_PORTADOWN, 29         | nonzero: the target period is below the period
        .equ    C_VIBCMD, 30            | speed << 4 | depth
        .equ    C_VIBPOS, 31
        .equ    C_TREMCMD, 32
        .equ    C_TREMPOS, 33
        .equ    C_WAVES, 34             | tremolo waveform << 4 | vibrato waveform
        .equ    C_GLISS, 35
        .equ    C_OFFSET, 36            | last sample offset parameter
        .equ    C_LOOPROW, 37
        .equ    C_LOOPCOUNT, 38
        .equ    C_SIZE, 40

| Work area.
        .equ    W_TICKS, 0              | word: whole E clock ticks of a tick at the tempo
        .equ    W_TICKFRAC, 2           | word: and its fraction (1/65536)
        .equ    W_TICKACC, 4            | word: the fractions added up so far
        .equ    W_STARTED, 6            | nonzero: the timer runs
        .equ    W_PATTERNS, 8           | long: pattern 0
        .equ    W_POSITIONS, 12         | long: the song position list
        .equ    W_SPEED, 16             | ticks per row
        .equ    W_TICK, 17              | tick within the row
        .equ    W_SONGPOS, 18
        .equ    W_ROW, 19               | row of this tick 0; afterwards the next row
        .equ    W_BREAKROW, 20          | row to go on at after a jump, break or loop
        .equ    W_JUMP, 21              | nonzero: next position after this tick
        .equ    W_LOOPJUMP, 22          | nonzero: go on at W_BREAKROW in this pattern
        .equ    W_DELAY, 23             | pattern delay just asked for (repeats + 1)
        .equ    W_DELAYLEFT, 24         | running pattern delay (repeats left + 1)
        .equ    W_SONGLEN, 25
        .equ    W_DMA, 26               | word: voices to start after this row
        .equ    W_LAYOUT15, 28          | nonzero: the 15-slot layout, played as Soundtrackers did
        .equ    W_SAMPLES, 30           | 32 sample records (slot 0 unused)
        .equ    W_CHANNELS, W_SAMPLES + 32 * S_SIZE
        .equ    W_PERIODS, W_CHANNELS + 4 * C_SIZE  | 16 tables of 36 periods, finetune -8..7
        .equ    W_SILENCE, W_PERIODS + 16 * 72      | a silent word: empty slots play it
        .equ    W_SIZE, W_SILENCE + 2

        .text
replay:
        bra.w   init
work:   .long   0                       | +4: address of the work area

| +8: one call of the 500 Hz play routine: the first starts the ticks.
play:
        move.l  work(pc),a6
        tst.b   W_STARTED(a6)
        jbne    1f
        st      W_STARTED(a6)
        jbsr    next_length             | the first tick's length, counted from now
        move.b  #CRA_RUN,CIAB+CRA
        jbsr    tick
        jbsr    next_length
1:      rts

| Level 6: CIA-B's timer A has run out, the next tick is due.
level6:
        movem.l d0-d7/a0-a6,-(sp)
        move.b  CIAB+ICR,d0             | reading acknowledges the CIA
        btst    #0,d0
        jbeq    1f
        move.l  work(pc),a6
        jbsr    tick
        jbsr    next_length
1:      move.w  #EXTER,PAULA+INTREQ
        movem.l (sp)+,d0-d7/a0-a6
        rte

| Latches the length of the tick after the running one: the tempo's whole
| E clock ticks, one more when the fractions carry.
next_length:
        move.w  W_TICKFRAC(a6),d0
        add.w   d0,W_TICKACC(a6)
        move.w  W_TICKS(a6),d0
        moveq   #0,d1
        addx.w  d1,d0                   | MOVE and MOVEQ leave the carry in X
        move.b  d0,CIAB+TALO
        lsr.w   #8,d0
        move.b  d0,CIAB+TAHI
        rts

tick:
        lea     PAULA,a5
        lea     W_CHANNELS(a6),a4
        tst.b   W_TICK(a6)
        jbne    .effects
        tst.b   W_DELAYLEFT(a6)
        jbne    .repeat
        jbsr    row
        jbra    .next_row
.repeat:
        jbsr    effects_all             | a delayed row's tick 0: effects only
.next_row:
        move.b  W_ROW(a6),d0
        addq.b  #1,d0
        move.b  W_DELAY(a6),d1
        jbeq    1f
        move.b  d1,W_DELAYLEFT(a6)
        clr.b   W_DELAY(a6)
1:      tst.b   W_DELAYLEFT(a6)
        jbeq    2f
        subq.b  #1,W_DELAYLEFT(a6)
        jbeq    2f
        subq.b  #1,d0                   | the row plays again
2:      tst.b   W_LOOPJUMP(a6)
        jbeq    3f
        clr.b   W_LOOPJUMP(a6)
        move.b  W_BREAKROW(a6),d0
        clr.b   W_BREAKROW(a6)
3:      move.b  d0,W_ROW(a6)
        cmp.b   #64,d0
        jbcs    .jumps
        jbsr    next_position
        jbra    .jumps
.effects:
        jbsr    effects_all
.jumps:
        tst.b   W_JUMP(a6)
        jbeq    4f
        jbsr    next_position
4:      move.b  W_TICK(a6),d0
        addq.b  #1,d0
        cmp.b   W_SPEED(a6),d0
        jbcs    5f
        moveq   #0,d0
5:      move.b  d0,W_TICK(a6)
        rts

next_position:
        move.b  W_BREAKROW(a6),W_ROW(a6)
        clr.b   W_BREAKROW(a6)
        clr.b   W_JUMP(a6)
        move.b  W_SONGPOS(a6),d0
        addq.b  #1,d0
        and.b   #127,d0
        cmp.b   W_SONGLEN(a6),d0
        jbcs    1f
        moveq   #0,d0
1:      move.b  d0,W_SONGPOS(a6)
        rts

effects_all:
        moveq   #3,d7
1:      jbsr    tick_effects
        lea     C_SIZE(a4),a4
        dbra    d7,1b
        rts

| Jumps through `table` by the channel's command, with its parameter in d1.
        .macro  by_command table
        moveq   #0,d1
        move.b  C_CMD+1(a4),d1
        move.b  C_CMD(a4),d0
        and.w   #15,d0
        add.w   d0,d0
        move.w  \table(pc,d0.w),d0
        jmp     \table(pc,d0.w)
        .endm

| Effects of the ticks after a row's first (and of a delayed row's first).
tick_effects:
        move.w  C_CMD(a4),d0
        and.w   #0xFFF,d0
        jbeq    period_only
        by_command tick_table
tick_table:
        .word   arpeggio-tick_table, porta_up-tick_table, porta_down-tick_table
        .word   toneporta-tick_table, vibrato-tick_table, toneporta_slide-tick_table
        .word   vibrato_slide-tick_table, tremolo-tick_table, period_only-tick_table
        .word   period_only-tick_table, volume_slide_period-tick_table, period_only-tick_table
        .word   period_only-tick_table, period_only-tick_table, e_commands-tick_table
        .word   period_only-tick_table

| Effects of a row's first tick, after its note.
more_effects:
        by_command more_table
more_table:
        .word   period_only-more_table, period_only-more_table, period_only-more_table
        .word   period_only-more_table, period_only-more_table, period_only-more_table
        .word   period_only-more_table, period_only-more_table, period_only-more_table
        .word   sample_offset-more_table, period_only-more_table, position_jump-more_table
        .word   set_volume_cmd-more_table, pattern_break-more_table, e_commands-more_table
        .word   set_speed-more_table

e_commands:
        move.w  d1,d0
        lsr.w   #3,d0
        and.w   #0x1E,d0
        and.w   #15,d1
        move.w  e_table(pc,d0.w),d0
        jmp     e_table(pc,d0.w)
e_table:
        .word   done-e_table, fine_up-e_table, fine_down-e_table, set_gliss-e_table
        .word   set_vibwave-e_table, set_finetune-e_table, pattern_loop-e_table
        .word   set_tremwave-e_table, done-e_table, retrig-e_table, fine_vol_up-e_table
        .word   fine_vol_down-e_table, note_cut-e_table, note_delay-e_table
        .word   pattern_delay-e_table, done-e_table

| Writes the channel's period.
period_only:
        move.w  C_PERIOD(a4),d0
| Writes period d0 (colour clock ticks per sample byte) to the voice.
set_period:
        move.l  C_VOICE(a4),a0
        move.w  d0,6(a0)
done:   rts

| Writes volume d0.w (0-64) to the voice.
set_volume:
        move.l  C_VOICE(a4),a0
        move.w  d0,8(a0)
        rts

| a1 = the channel's period table.
ft_table:
        moveq   #0,d2
        move.b  C_FINETUNE(a4),d2
        eor.b   #8,d2                   | tables run from finetune -8 to 7
        mulu    #72,d2
        lea     W_PERIODS(a6),a1
        add.w   d2,a1
        rts

| d1 = byte index of the first period not above d0 in table a1 (at most
| the last one). note_index uses the finetune 0 table.
note_index:
        lea     W_PERIODS + 8 * 72(a6),a1
find_index:
        moveq   #0,d1
1:      cmp.w   0(a1,d1.w),d0
        jbcc    2f
        addq.w  #2,d1
        cmp.w   #35 * 2,d1
        jbcs    1b
2:      rts

| One row: each channel's cell, then the voices of new notes start and every
| voice gets its loop (a sample set without a note plays from its next loop).
row:
        move.l  W_POSITIONS(a6),a0
        moveq   #0,d0
        move.b  W_SONGPOS(a6),d0
        move.b  0(a0,d0.w),d0
        moveq   #10,d1
        lsl.l   d1,d0
        moveq   #0,d1
        move.b  W_ROW(a6),d1
        lsl.w   #4,d1
        add.l   d1,d0
        move.l  W_PATTERNS(a6),a3
        add.l   d0,a3
        clr.w   W_DMA(a6)
        moveq   #3,d7
1:      jbsr    cell
        addq.l  #4,a3
        lea     C_SIZE(a4),a4
        dbra    d7,1b
        move.w  W_DMA(a6),d0
        jbeq    2f
        or.w    #0x8000,d0
        move.w  d0,DMACON(a5)
2:      lea     W_CHANNELS(a6),a4
        moveq   #3,d7
3:      move.l  C_VOICE(a4),a0
        move.l  C_LOOP(a4),(a0)
        move.w  C_REPLEN(a4),4(a0)
        lea     C_SIZE(a4),a4
        dbra    d7,3b
        rts

cell:
        move.l  (a3),C_NOTE(a4)
        tst.b   W_LAYOUT15(a6)          | the Soundtrackers' E command slides the
        jbeq    1f                      | volume, as A does
        move.w  C_CMD(a4),d0
        and.w   #0x0F00,d0
        cmp.w   #0x0E00,d0
        jbne    1f
        sub.w   #0x0400,C_CMD(a4)
1:
        move.b  (a3),d0                 | sample slot: high nibbles of bytes 0 and 2
        and.w   #0xF0,d0
        move.b  2(a3),d1
        lsr.b   #4,d1
        or.b    d1,d0
        jbeq    2f
        mulu    #S_SIZE,d0
        lea     W_SAMPLES(a6,d0.w),a0
        lea     C_START(a4),a1
        move.l  (a0)+,(a1)+
        move.l  (a0)+,(a1)+
        move.l  (a0)+,(a1)+
        move.w  (a0)+,(a1)+
2:      moveq   #0,d0                   | a row starts at the channel's volume, without
        move.b  C_VOLUME(a4),d0         | the last tick's tremolo
        jbsr    set_volume
        move.w  C_NOTE(a4),d0
        and.w   #0xFFF,d0
        jbne    1f
        jbsr    period_only             | without a note: the period without the last
        jbra    more_effects            | tick's vibrato or arpeggio, whatever the command
1:      move.w  C_CMD(a4),d1
        and.w   #0xFF0,d1
        cmp.w   #0xE50,d1
        jbne    3f
        move.b  C_CMD+1(a4),d1          | E5x: the note takes finetune x
        and.b   #15,d1
        move.b  d1,C_FINETUNE(a4)
        jbra    note
3:      lsr.w   #8,d1
        cmp.b   #3,d1
        jbeq    toneporta_target
        cmp.b   #5,d1
        jbeq    toneporta_target
        cmp.b   #9,d1
        jbne    note
        move.w  d0,-(sp)
        jbsr    more_effects            | the sample offset moves this note's start
        move.w  (sp)+,d0
note:
        jbsr    note_index
        jbsr    ft_table
        move.w  0(a1,d1.w),C_PERIOD(a4)
        move.w  C_CMD(a4),d1
        and.w   #0xFF0,d1
        cmp.w   #0xED0,d1
        jbeq    more_effects            | a delayed note starts later
        move.b  C_WAVES(a4),d1
        btst    #2,d1
        jbne    4f
        clr.b   C_VIBPOS(a4)
4:      btst    #6,d1
        jbne    5f
        clr.b   C_TREMPOS(a4)
5:      move.w  C_DMABIT(a4),d1
        move.w  d1,DMACON(a5)           | voice off; on again after the row
        or.w    d1,W_DMA(a6)
        move.l  C_VOICE(a4),a0
        move.l  C_START(a4),(a0)
        move.w  C_LENGTH(a4),4(a0)
        jbsr    period_only
        jbra    more_effects

| 3xx/5xx with a note: the note becomes the target, it does not start.
toneporta_target:
        jbsr    note_index
        jbsr    ft_table
        move.w  0(a1,d1.w),d0
        move.w  d0,C_WANTED(a4)
        clr.b   C_PORTADOWN(a4)
        cmp.w   C_PERIOD(a4),d0
        jbne    1f
        clr.w   C_WANTED(a4)
1:      jbge    more_effects
        st      C_PORTADOWN(a4)
        jbra    more_effects

sample_offset:
        tst.b   d1
        jbeq    1f
        move.b  d1,C_OFFSET(a4)
1:      moveq   #0,d0
        move.b  C_OFFSET(a4),d0
        lsl.w   #7,d0                   | 256 bytes per step
        cmp.w   C_LENGTH(a4),d0
        jbcc    2f
        sub.w   d0,C_LENGTH(a4)
        add.w   d0,d0
        add.l   d0,C_START(a4)
        rts
2:      move.w  #1,C_LENGTH(a4)         | past the end: one word, then the loop
        rts

position_jump:
        subq.b  #1,d1
        move.b  d1,W_SONGPOS(a6)
        clr.b   W_BREAKROW(a6)
        st      W_JUMP(a6)
        rts

pattern_break:
        tst.b   W_LAYOUT15(a6)          | the Soundtrackers break to row 0
        jbeq    2f
        moveq   #0,d1
2:      move.w  d1,d0
        lsr.w   #4,d0
        mulu    #10,d0
        and.w   #15,d1
        add.w   d1,d0
        cmp.w   #63,d0
        jbls    1f
        moveq   #0,d0
1:      move.b  d0,W_BREAKROW(a6)
        st      W_JUMP(a6)
        rts

set_speed:
        tst.b   W_LAYOUT15(a6)          | the Soundtrackers: a speed of 1-15, no tempo
        jbeq    3f
        and.b   #15,d1
3:      tst.b   d1
        jbeq    2f
        cmp.b   #32,d1
        jbcc    1f
        move.b  d1,W_SPEED(a6)
        rts
1:      jbra    set_tempo
2:      rts

| Tempo d1.w (32-255): ticks of 3546895 / (2 d1) E clock ticks, whole
| and 1/65536.
set_tempo:
        add.w   d1,d1
        move.l  #E_TICKS_5S,d0
        divu    d1,d0
        move.w  d0,W_TICKS(a6)
        clr.w   d0                      | the remainder, x 65536
        divu    d1,d0
        move.w  d0,W_TICKFRAC(a6)
        rts

set_volume_cmd:
        cmp.b   #64,d1
        jbls    1f
        moveq   #64,d1
1:      move.b  d1,C_VOLUME(a4)
        move.w  d1,d0
        jbra    set_volume

| Arpeggio steps past B-3 read on as the tracker does: the period after
| B-3 is 0 (Paula then stands still: silent here), the steps beyond it
| start again at C-1 of the same finetune.
arpeggio:
        moveq   #0,d0
        move.b  C_VOLUME(a4),d0
        jbsr    set_volume              | back from a silent step
        moveq   #0,d0
        move.b  W_TICK(a6),d0
        divu    #3,d0
        swap    d0
        subq.w  #1,d0
        jbmi    period_only             | every third tick: the note
        jbne    1f
        lsr.b   #4,d1                   | then the first and the second offset
1:      and.w   #15,d1
        move.w  d1,d3
        add.w   d3,d3
        move.w  C_PERIOD(a4),d0
        jbsr    ft_table
        jbsr    find_index
        add.w   d3,d1
        cmp.w   #36 * 2,d1
        jbcs    3f
        jbne    2f
        moveq   #0,d0
        jbra    set_volume
2:      sub.w   #37 * 2,d1
3:      move.w  0(a1,d1.w),d0
        jbra    set_period

fine_up:
        tst.b   W_TICK(a6)
        jbne    1f
porta_up:
        move.w  C_PERIOD(a4),d0
        sub.w   d1,d0
        cmp.w   #MIN_PERIOD,d0
        jbge    porta_set
        moveq   #MIN_PERIOD,d0
        jbra    porta_set
fine_down:
        tst.b   W_TICK(a6)
        jbne    1f
porta_down:
        move.w  C_PERIOD(a4),d0
        add.w   d1,d0
        cmp.w   #MAX_PERIOD,d0
        jble    porta_set
        move.w  #MAX_PERIOD,d0
porta_set:
        move.w  d0,C_PERIOD(a4)
        jbra    set_period
1:      rts

toneporta:
        tst.b   d1
        jbeq    toneporta_more
        move.b  d1,C_PORTASPEED(a4)
toneporta_more:
        move.w  C_WANTED(a4),d2
        jbeq    3f
        moveq   #0,d1
        move.b  C_PORTASPEED(a4),d1
        move.w  C_PERIOD(a4),d0
        tst.b   C_PORTADOWN(a4)
        jbne    1f
        add.w   d1,d0
        cmp.w   d2,d0
        jblt    2f
        jbra    4f
1:      sub.w   d1,d0
        cmp.w   d2,d0
        jbgt    2f
4:      move.w  d2,d0                   | arrived
        clr.w   C_WANTED(a4)
2:      move.w  d0,C_PERIOD(a4)
        tst.b   C_GLISS(a4)
        jbeq    set_period
        jbsr    ft_table                | glissando: whole semitones of the table
        jbsr    find_index
        move.w  0(a1,d1.w),d0
        jbra    set_period
3:      rts

toneporta_slide:
        jbsr    toneporta_more
        jbra    slide_parameter
vibrato_slide:
        jbsr    vibrato_more
slide_parameter:
        moveq   #0,d1
        move.b  C_CMD+1(a4),d1
        jbra    volume_slide

fine_vol_up:
        lsl.b   #4,d1
fine_vol_down:
        tst.b   W_TICK(a6)
        jbeq    volume_slide
        rts

volume_slide_period:
        jbsr    volume_slide
        jbra    period_only

| Axy: up by x, else down by y, within 0-64.
volume_slide:
        moveq   #0,d0
        move.b  C_VOLUME(a4),d0
        move.w  d1,d2
        lsr.w   #4,d2
        jbeq    1f
        add.w   d2,d0
        cmp.w   #64,d0
        jbls    2f
        moveq   #64,d0
        jbra    2f
1:      and.w   #15,d1
        sub.w   d1,d0
        jbge    2f
        moveq   #0,d0
2:      move.b  d0,C_VOLUME(a4)
        jbra    set_volume

| d0 = d0 with the nonzero nibbles of parameter d1.
merge_nibbles:
        move.b  d1,d2
        and.b   #0x0F,d2
        jbeq    1f
        and.b   #0xF0,d0
        or.b    d2,d0
1:      and.b   #0xF0,d1
        jbeq    2f
        and.b   #0x0F,d0
        or.b    d1,d0
2:      rts

| d0.w = 0-255, the size of waveform d2 (0 sine, 1 ramp, 2-3 square) at
| position d0. The ramp falls in the second half of the vibrato's cycle,
| for the tremolo too (as the tracker does).
wave_value:
        lsr.b   #2,d0
        and.w   #31,d0
        and.b   #3,d2
        jbne    1f
        move.b  sine(pc,d0.w),d0
        rts
1:      subq.b  #1,d2
        jbne    2f
        lsl.b   #3,d0
        tst.b   C_VIBPOS(a4)
        jbpl    3f
        not.b   d0
3:      rts
2:      move.w  #255,d0
        rts
sine:
        .byte   0,24,49,74,97,120,141,161,180,197,212,224,235,244,250,253
        .byte   255,253,250,244,235,224,212,197,180,161,141,120,97,74,49,24

vibrato:
        move.b  C_VIBCMD(a4),d0
        jbsr    merge_nibbles
        move.b  d0,C_VIBCMD(a4)
vibrato_more:
        move.b  C_VIBPOS(a4),d0
        move.b  C_WAVES(a4),d2
        jbsr    wave_value
        move.b  C_VIBCMD(a4),d1
        and.w   #15,d1
        mulu    d1,d0
        lsr.w   #7,d0
        tst.b   C_VIBPOS(a4)
        jbpl    1f
        neg.w   d0
1:      add.w   C_PERIOD(a4),d0
        jbsr    set_period
        move.b  C_VIBCMD(a4),d0
        lsr.b   #2,d0
        and.b   #0x3C,d0
        add.b   d0,C_VIBPOS(a4)
        rts

tremolo:
        move.b  C_TREMCMD(a4),d0
        jbsr    merge_nibbles
        move.b  d0,C_TREMCMD(a4)
        move.b  C_TREMPOS(a4),d0
        move.b  C_WAVES(a4),d2
        lsr.b   #4,d2
        jbsr    wave_value
        move.b  C_TREMCMD(a4),d1
        and.w   #15,d1
        mulu    d1,d0
        lsr.w   #6,d0
        tst.b   C_TREMPOS(a4)
        jbpl    1f
        neg.w   d0
1:      moveq   #0,d1
        move.b  C_VOLUME(a4),d1
        add.w   d1,d0
        jbpl    2f
        moveq   #0,d0
2:      cmp.w   #64,d0
        jbls    3f
        moveq   #64,d0
3:      jbsr    set_volume
        move.b  C_TREMCMD(a4),d0
        lsr.b   #2,d0
        and.b   #0x3C,d0
        add.b   d0,C_TREMPOS(a4)
        jbra    period_only

set_gliss:
        move.b  d1,C_GLISS(a4)
        rts
set_finetune:
        move.b  d1,C_FINETUNE(a4)
        rts
set_vibwave:
        move.b  C_WAVES(a4),d0
        and.b   #0xF0,d0
        jbra    1f
set_tremwave:
        lsl.b   #4,d1
        move.b  C_WAVES(a4),d0
        and.b   #0x0F,d0
1:      or.b    d1,d0
        move.b  d0,C_WAVES(a4)
        rts

pattern_loop:
        tst.b   W_TICK(a6)
        jbne    3f
        tst.b   d1
        jbne    1f
        move.b  W_ROW(a6),C_LOOPROW(a4) | E60: the loop starts here
        rts
1:      tst.b   C_LOOPCOUNT(a4)
        jbne    2f
        move.b  d1,C_LOOPCOUNT(a4)
        jbra    4f
2:      subq.b  #1,C_LOOPCOUNT(a4)
        jbeq    3f
4:      move.b  C_LOOPROW(a4),W_BREAKROW(a6)
        st      W_LOOPJUMP(a6)
3:      rts

pattern_delay:
        tst.b   W_TICK(a6)
        jbne    1f
        tst.b   W_DELAYLEFT(a6)
        jbne    1f
        addq.b  #1,d1
        move.b  d1,W_DELAY(a6)
1:      rts

note_cut:
        cmp.b   W_TICK(a6),d1
        jbne    1f
        clr.b   C_VOLUME(a4)
        moveq   #0,d0
        jbra    set_volume
1:      rts

note_delay:
        cmp.b   W_TICK(a6),d1
        jbne    1f
        move.w  C_NOTE(a4),d0
        and.w   #0xFFF,d0
        jbeq    1f
        jbsr    period_only
        jbra    restart_voice
1:      rts

| E9x: the sample again every x ticks; on tick 0 only without a note (a
| note has started it, and the repeats of a delayed row leave it playing).
retrig:
        tst.b   d1
        jbeq    1f
        moveq   #0,d0
        move.b  W_TICK(a6),d0
        jbne    2f
        move.w  C_NOTE(a4),d2
        and.w   #0xFFF,d2
        jbne    1f
2:      divu    d1,d0
        swap    d0
        tst.w   d0
        jbne    1f
restart_voice:
        move.w  C_DMABIT(a4),d0
        move.w  d0,DMACON(a5)
        move.l  C_VOICE(a4),a0
        move.l  C_START(a4),(a0)
        move.w  C_LENGTH(a4),4(a0)
        or.w    #0x8000,d0
        move.w  d0,DMACON(a5)
        move.l  C_LOOP(a4),(a0)
        move.w  C_REPLEN(a4),4(a0)
1:      rts

| +0: init. D0 = the song position to start at.
init:
        movem.l d0-d7/a0-a6,-(sp)
        move.l  d0,d5
        lea     module(pc),a0
        move.l  1080(a0),d1             | 31 slots when a known signature is there
        lea     signatures(pc),a1
        moveq   #4,d2
1:      cmp.l   (a1)+,d1
        dbeq    d2,1b
        lea     470(a0),a2              | song length, 15-slot layout
        moveq   #15,d6
        tst.w   d2
        jbmi    2f
        lea     950(a0),a2
        moveq   #31,d6
2:      lea     130(a2),a3              | pattern 0
        cmp.b   #15,d6
        jbeq    3f
        addq.l  #4,a3
3:      moveq   #0,d0                   | highest pattern of the position list
        lea     2(a2),a1
        moveq   #127,d2
4:      cmp.b   (a1)+,d0
        jbcc    5f
        move.b  -1(a1),d0
5:      dbra    d2,4b
        addq.w  #1,d0
        moveq   #10,d1
        lsl.l   d1,d0
        lea     0(a3,d0.l),a1           | the first sample's bytes
        move.l  a1,d3                   | the work area follows the last sample
        lea     20(a0),a4
        move.w  d6,d2
        subq.w  #1,d2
6:      moveq   #0,d0
        move.w  22(a4),d0
        add.l   d0,d3
        add.l   d0,d3
        lea     30(a4),a4
        dbra    d2,6b
        move.l  d3,a6
        lea     work(pc),a4
        move.l  a6,(a4)
        move.l  a6,a4
        move.w  #W_SIZE / 2 - 1,d0
7:      clr.w   (a4)+
        dbra    d0,7b

        move.l  a3,W_PATTERNS(a6)
        move.b  (a2),W_SONGLEN(a6)
        addq.l  #2,a2
        move.l  a2,W_POSITIONS(a6)
        cmp.b   W_SONGLEN(a6),d5
        jbcs    8f
        moveq   #0,d5
8:      move.b  d5,W_SONGPOS(a6)
        move.b  #6,W_SPEED(a6)
        moveq   #125,d1
        jbsr    set_tempo
| The 15-slot layout's byte after the song length sets the CIA timer, as
| the Soundtrackers did: (240 - byte) x 122 E clock ticks per tick; 0 and
| 120 leave the default of 50 ticks a second. Bytes above 228 (ticks
| under 2 ms) play as 228, so a play call's time holds at most about one
| tick's work.
        cmp.b   #15,d6
        jbne    2f
        st      W_LAYOUT15(a6)
        moveq   #0,d0
        move.b  471(a0),d0
        jbeq    2f
        cmp.b   #120,d0
        jbeq    2f
        cmp.b   #ST_TEMPO_FASTEST,d0
        jbls    1f
        move.w  #ST_TEMPO_FASTEST,d0
1:      move.w  #240,d1
        sub.w   d0,d1
        mulu    #ST_TEMPO_STEP,d1
        move.w  d1,W_TICKS(a6)
        clr.w   W_TICKFRAC(a6)
2:

| Sample records. The tracker plays a looping sample up to its loop end,
| then the loop; a sample without a loop (loop of at most one word) plays
| to its end, then loops over its first word, made silent. Paula takes a
| new sample's window at the end of the current loop pass, so a sample set
| while a voice plays silence starts one word later, as on the Amiga.
        lea     20(a0),a4               | header of slot 1
        lea     W_SAMPLES + S_SIZE(a6),a5
        lea     W_SILENCE(a6),a2
        moveq   #1,d7
9:      moveq   #1,d0                   | empty or missing slot: the silent word
        move.l  a2,(a5)
        move.w  d0,S_LENGTH(a5)
        move.l  a2,S_LOOP(a5)
        move.w  d0,S_REPLEN(a5)
        cmp.b   d6,d7
        jbhi    12f
        move.b  24(a4),d0
        and.b   #15,d0
        move.b  d0,S_FINETUNE(a5)
        move.b  25(a4),d0
        cmp.b   #64,d0
        jbls    10f
        moveq   #64,d0
10:     move.b  d0,S_VOLUME(a5)
        moveq   #0,d0
        move.w  22(a4),d0               | length in words
        jbeq    12f
        move.l  a1,(a5)
        move.w  d0,S_LENGTH(a5)
        move.w  28(a4),d1               | loop length
        cmp.w   #1,d1
        jbhi    11f
        clr.w   (a1)
        move.l  a1,S_LOOP(a5)
        jbra    12f
11:     move.l  a1,S_LOOP(a5)
        move.w  d1,S_REPLEN(a5)
        moveq   #0,d2
        move.w  26(a4),d2               | loop start
        jbeq    18f
        add.w   d2,d1
        move.w  d1,S_LENGTH(a5)
        add.l   d2,S_LOOP(a5)
        add.l   d2,S_LOOP(a5)
18:     tst.b   W_LAYOUT15(a6)          | the Soundtrackers play a looping sample's
        jbeq    12f                     | loop only
        move.l  S_LOOP(a5),(a5)
        move.w  S_REPLEN(a5),S_LENGTH(a5)
12:     add.l   d0,a1
        add.l   d0,a1
        lea     30(a4),a4
        lea     S_SIZE(a5),a5
        addq.b  #1,d7
        cmp.b   #31,d7
        jbls    9b

| Timer A interrupts at level 6, stopped until the first play call.
        lea     level6(pc),a1
        move.l  a1,LEVEL6.w
        move.b  #0x7F,CIAB+ICR          | every CIA interrupt off, then timer A on
        move.b  #0x81,CIAB+ICR
        clr.b   CIAB+CRA
        lea     PAULA,a5
        move.w  #0x8000+EXTER,INTENA(a5)
| Channels 1-4 play on voices 0, 1, 3 and 2: left, right, right, left.
        move.w  #0x000F,DMACON(a5)
        move.w  #0x8200,DMACON(a5)
        lea     W_CHANNELS(a6),a4
        lea     voices(pc),a1
        moveq   #3,d7
13:     moveq   #0,d0
        move.b  (a1)+,d0
        moveq   #1,d1
        lsl.w   d0,d1
        move.w  d1,C_DMABIT(a4)
        lsl.w   #4,d0
        add.l   #PAULA + AUD0,d0
        move.l  d0,a0
        move.l  a0,C_VOICE(a4)
        clr.w   8(a0)
        lea     C_SIZE(a4),a4
        dbra    d7,13b

| Period tables: finetune -8 as its first period and falling steps, every
| further finetune as nibbles (high first) to subtract from the one before.
        lea     W_PERIODS(a6),a2
        lea     periods(pc),a0
        move.w  (a0)+,d0
        move.w  d0,(a2)+
        moveq   #34,d1
14:     moveq   #0,d2
        move.b  (a0)+,d2
        sub.w   d2,d0
        move.w  d0,(a2)+
        dbra    d1,14b
        move.w  #15 * 36 - 1,d1
15:     moveq   #0,d2
        move.b  (a0),d2
        btst    #0,d1
        jbeq    16f
        lsr.b   #4,d2
        jbra    17f
16:     and.b   #15,d2
        addq.l  #1,a0
17:     move.w  -72(a2),d0
        sub.w   d2,d0
        move.w  d0,(a2)+
        dbra    d1,15b
        movem.l (sp)+,d0-d7/a0-a6
        rts

signatures:
        .ascii  "M.K.M!K!M&K!4CHNFLT4"
voices:
        .byte   0,1,3,2
| The tracker's period tables, C-1 to B-3, finetune -8 to 7.
periods:
        .word   907
        .byte   51,48,46,42,42,38,36,34,32,30,28,27
        .byte   25,24,23,21,21,19,18,17,16,15,14,14
        .byte   12,12,12,10,10,10,9,8,8,8,7
        .byte   0x76,0x65,0x53,0x43,0x33,0x33,0x33,0x32,0x32,0x22,0x11,0x12,0x12,0x21,0x11,0x11,0x11,0x11
        .byte   0x66,0x65,0x65,0x44,0x43,0x33,0x33,0x33,0x22,0x22,0x22,0x21,0x21,0x11,0x22,0x11,0x11,0x11
        .byte   0x76,0x56,0x55,0x45,0x44,0x44,0x33,0x33,0x33,0x22,0x22,0x22,0x12,0x11,0x11,0x11,0x11,0x00
        .byte   0x66,0x65,0x55,0x54,0x44,0x43,0x33,0x33,0x22,0x22,0x22,0x22,0x21,0x22,0x11,0x11,0x11,0x21
        .byte   0x66,0x65,0x55,0x44,0x44,0x34,0x43,0x22,0x32,0x32,0x22,0x21,0x12,0x11,0x11,0x11,0x11,0x01
        .byte   0x76,0x56,0x54,0x54,0x44,0x43,0x33,0x33,0x23,0x22,0x22,0x12,0x21,0x21,0x21,0x11,0x11,0x11
        .byte   0x66,0x65,0x55,0x45,0x43,0x33,0x33,0x32,0x32,0x22,0x22,0x22,0x12,0x12,0x12,0x21,0x11,0x11
        .byte   0x66,0x65,0x66,0x65,0x55,0x44,0x33,0x33,0x33,0x33,0x32,0x22,0x21,0x21,0x11,0x11,0x11,0x11
        .byte   0x66,0x55,0x43,0x33,0x33,0x33,0x33,0x23,0x22,0x21,0x11,0x11,0x11,0x11,0x11,0x11,0x11,0x10
        .byte   0x66,0x56,0x45,0x44,0x33,0x33,0x33,0x32,0x22,0x22,0x22,0x21,0x22,0x12,0x21,0x11,0x11,0x11
        .byte   0x65,0x65,0x54,0x54,0x44,0x43,0x33,0x33,0x32,0x22,0x22,0x22,0x21,0x11,0x11,0x11,0x10,0x01
        .byte   0x66,0x55,0x55,0x44,0x43,0x33,0x33,0x32,0x22,0x22,0x22,0x22,0x12,0x21,0x11,0x11,0x11,0x11
        .byte   0x66,0x55,0x54,0x44,0x44,0x44,0x32,0x23,0x23,0x22,0x22,0x11,0x21,0x11,0x11,0x11,0x11,0x11
        .byte   0x65,0x65,0x45,0x44,0x44,0x33,0x33,0x32,0x32,0x22,0x21,0x22,0x12,0x12,0x11,0x11,0x11,0x10
        .byte   0x66,0x55,0x54,0x54,0x33,0x33,0x33,0x23,0x22,0x22,0x22,0x21,0x11,0x21,0x22,0x11,0x11,0x11
        .even
module:                                 | the module follows
