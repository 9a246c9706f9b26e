<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>app::TdbImportDialog</name>
    <message>
        <source> (on sublattices)</source>
        <translation> (on sublattices)</translation>
    </message>
    <message>
        <source> (disordered part only)</source>
        <translation> (disordered part only)</translation>
    </message>
    <message>
        <source>%1 (rejected by the file)</source>
        <translation>%1 (rejected by the file)</translation>
    </message>
    <message>
        <source>The file&apos;s REJECT_PHASE command leaves this phase aside; check it to take it in.</source>
        <translation>The file&apos;s REJECT_PHASE command leaves this phase aside; check it to take it in.</translation>
    </message>
    <message>
        <source>Import TDB</source>
        <translation>Import TDB</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <source>TDB file:</source>
        <translation>TDB file:</translation>
    </message>
    <message>
        <source>and (X is its mole fraction)</source>
        <translation>and (X is its mole fraction)</translation>
    </message>
    <message>
        <source>Components:</source>
        <translation>Components:</translation>
    </message>
    <message>
        <source>Phases:</source>
        <translation>Phases:</translation>
    </message>
    <message>
        <source>Problem name:</source>
        <translation>Problem name:</translation>
    </message>
    <message>
        <source>What the import gives:</source>
        <translation>What the import gives:</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>TDB databases (*.tdb *.TDB);;All files (*)</source>
        <translation>TDB databases (*.tdb *.TDB);;All files (*)</translation>
    </message>
    <message>
        <source>No phase is chosen.</source>
        <translation>No phase is chosen.</translation>
    </message>
    <message>
        <source> (compound, X = %1)</source>
        <translation> (compound, X = %1)</translation>
    </message>
    <message>
        <source>Phases written: %1
</source>
        <translation>Phases written: %1
</translation>
    </message>
    <message>
        <source>Temperature range: %1..%2 K, %3 levels
</source>
        <translation>Temperature range: %1..%2 K, %3 levels
</translation>
    </message>
    <message>
        <source>Skipped phase %1: %2
</source>
        <translation>Skipped phase %1: %2
</translation>
    </message>
    <message>
        <source>Note: %1
</source>
        <translation>Note: %1
</translation>
    </message>
    <message>
        <source>Choose a TDB file.</source>
        <translation>Choose a TDB file.</translation>
    </message>
    <message>
        <source>The problem needs a name.</source>
        <translation>The problem needs a name.</translation>
    </message>
</context>
<context>
    <name>app::TfmAbout</name>
    <message>
        <source>О программе...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>расчет бинарных фазовых диаграмм</source>
        <translation>binary phase diagram calculation</translation>
    </message>
    <message>
        <source>Метод: нижняя выпуклая оболочка энергии Гиббса.
Программа: разработчики Brelona.
Версия %1</source>
        <translation>Method: lower convex hull of the Gibbs energy.
Program: the Brelona developers.
Version %1</translation>
    </message>
    <message>
        <source>Руководство пользователя:</source>
        <translation>User manual:</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>app::TfmMain</name>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Открыть</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>&amp;Создать</source>
        <translation>&amp;New</translation>
    </message>
    <message>
        <source>&amp;Import TDB…</source>
        <translation>&amp;Import TDB…</translation>
    </message>
    <message>
        <source>&amp;Закрыть</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>&amp;Цвет мозаичной диаграммы</source>
        <translation>&amp;Mosaic diagram colour</translation>
    </message>
    <message>
        <source>&amp;О программе...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>Русский</source>
        <translation>Russian</translation>
    </message>
    <message>
        <source>The language could not be saved: %1</source>
        <translation>The language could not be saved: %1</translation>
    </message>
    <message>
        <source>The new language is used from the next start of the program.</source>
        <translation>The new language is used from the next start of the program.</translation>
    </message>
    <message>
        <source>&amp;Results</source>
        <translation>&amp;Results</translation>
    </message>
    <message>
        <source>&amp;Cell grid</source>
        <translation>&amp;Cell grid</translation>
    </message>
    <message>
        <source> Задачи </source>
        <translation> Problems </translation>
    </message>
    <message>
        <source> Выражения для расчета энергии Гиббса </source>
        <translation> Gibbs energy expressions </translation>
    </message>
    <message>
        <source>Расчет (F9)</source>
        <translation>Calculate (F9)</translation>
    </message>
    <message>
        <source>Стоп (Esc)</source>
        <translation>Stop (Esc)</translation>
    </message>
    <message>
        <source>По шагам</source>
        <translation>Step by step</translation>
    </message>
    <message>
        <source>Вживую</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>Recompute the diagram as the sheet, the range or the grid is edited: a preview on a coarser grid, then the whole grid</source>
        <translation>Recompute the diagram as the sheet, the range or the grid is edited: a preview on a coarser grid, then the whole grid</translation>
    </message>
    <message>
        <source>Диаграмма</source>
        <translation>Diagram</translation>
    </message>
    <message>
        <source>Ред. график</source>
        <translation>Edit chart</translation>
    </message>
    <message>
        <source>Особые точки</source>
        <translation>Special points</translation>
    </message>
    <message>
        <source> Ось Y  </source>
        <translation> Y axis  </translation>
    </message>
    <message>
        <source> Y - это</source>
        <translation> Y is</translation>
    </message>
    <message>
        <source> Число точек </source>
        <translation> Number of points </translation>
    </message>
    <message>
        <source>Ось X</source>
        <translation>X axis</translation>
    </message>
    <message>
        <source>Ось Y</source>
        <translation>Y axis</translation>
    </message>
    <message>
        <source> Демонстрация </source>
        <translation> Display </translation>
    </message>
    <message>
        <source>Мозаичная диаграмма</source>
        <translation>Mosaic diagram</translation>
    </message>
    <message>
        <source>Рабочая диаграмма</source>
        <translation>Working diagram</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Название задачи</source>
        <translation>Problem name</translation>
    </message>
    <message>
        <source>The database %1 was changed by another program since this window read it. Replace it with this window&apos;s problems?</source>
        <translation>The database %1 was changed by another program since this window read it. Replace it with this window's problems?</translation>
    </message>
    <message>
        <source>Имя новой базы данных</source>
        <translation>New database name</translation>
    </message>
    <message>
        <source>Введите имя файла с расширением .d</source>
        <translation>Enter a file name with the extension .d</translation>
    </message>
    <message>
        <source>Exact values</source>
        <translation>Exact values</translation>
    </message>
    <message>
        <source>Solve invariants, transitions, critical points and boundaries from the Gibbs energies after the sweep</source>
        <translation>Solve invariants, transitions, critical points and boundaries from the Gibbs energies after the sweep</translation>
    </message>
    <message>
        <source>&amp;Grid</source>
        <translation>&amp;Grid</translation>
    </message>
    <message>
        <source>Ymin</source>
        <translation>Ymin</translation>
    </message>
    <message>
        <source>Ymax</source>
        <translation>Ymax</translation>
    </message>
    <message>
        <source>Save settings on close</source>
        <translation>Save settings on close</translation>
    </message>
</context>
<context>
    <name>views::ChartEditor</name>
    <message>
        <source>The %1 axis label format %2.</source>
        <translation>The %1 axis label format %2.</translation>
    </message>
    <message>
        <source>bottom</source>
        <translation>bottom</translation>
    </message>
    <message>
        <source>left</source>
        <translation>left</translation>
    </message>
    <message>
        <source>Edit chart</source>
        <translation>Edit chart</translation>
    </message>
    <message>
        <source>Titles</source>
        <translation>Titles</translation>
    </message>
    <message>
        <source>Walls</source>
        <translation>Walls</translation>
    </message>
    <message>
        <source>Axes</source>
        <translation>Axes</translation>
    </message>
    <message>
        <source>Series</source>
        <translation>Series</translation>
    </message>
    <message>
        <source>Visible</source>
        <translation>Visible</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>Alignment</source>
        <translation>Alignment</translation>
    </message>
    <message>
        <source>Colour</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Foot</source>
        <translation>Foot</translation>
    </message>
    <message>
        <source>Show the legend</source>
        <translation>Show the legend</translation>
    </message>
    <message>
        <source>Chart background</source>
        <translation>Chart background</translation>
    </message>
    <message>
        <source>Back wall (plot area)</source>
        <translation>Back wall (plot area)</translation>
    </message>
    <message>
        <source>Automatic range</source>
        <translation>Automatic range</translation>
    </message>
    <message>
        <source>automatic</source>
        <translation>automatic</translation>
    </message>
    <message>
        <source>Grid</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>Labels</source>
        <translation>Labels</translation>
    </message>
    <message>
        <source>automatic, or e.g. %.2f</source>
        <translation>automatic, or e.g. %.2f</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>Increment</source>
        <translation>Increment</translation>
    </message>
    <message>
        <source>Minor ticks</source>
        <translation>Minor ticks</translation>
    </message>
    <message>
        <source>Grid style</source>
        <translation>Grid style</translation>
    </message>
    <message>
        <source>Grid colour</source>
        <translation>Grid colour</translation>
    </message>
    <message>
        <source>Label format</source>
        <translation>Label format</translation>
    </message>
    <message>
        <source>Bottom axis</source>
        <translation>Bottom axis</translation>
    </message>
    <message>
        <source>Left axis</source>
        <translation>Left axis</translation>
    </message>
    <message>
        <source>Markers on lines</source>
        <translation>Markers on lines</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>Marker size</source>
        <translation>Marker size</translation>
    </message>
    <message>
        <source>Outline / pen colour</source>
        <translation>Outline / pen colour</translation>
    </message>
    <message>
        <source>Pen width</source>
        <translation>Pen width</translation>
    </message>
    <message>
        <source>Pen style</source>
        <translation>Pen style</translation>
    </message>
</context>
<context>
    <name>views::LabelFormat</name>
    <message>
        <source>is longer than %1 characters</source>
        <translation>is longer than %1 characters</translation>
    </message>
    <message>
        <source>has no number conversion such as %.2f</source>
        <translation>has no number conversion such as %.2f</translation>
    </message>
    <message>
        <source>holds more than one %</source>
        <translation>holds more than one %</translation>
    </message>
    <message>
        <source>needs a point and a precision after the %</source>
        <translation>needs a point and a precision after the %</translation>
    </message>
    <message>
        <source>has no precision after the point</source>
        <translation>has no precision after the point</translation>
    </message>
    <message>
        <source>has a precision above %1</source>
        <translation>has a precision above %1</translation>
    </message>
    <message>
        <source>needs one of f, e, g, E, G, d, i after the precision</source>
        <translation>needs one of f, e, g, E, G, d, i after the precision</translation>
    </message>
    <message>
        <source>Empty for automatic labels, or one number format %.Nf, %.Ne or %.Ng (N digits, 0 to 17) with optional text around it, e.g. &quot;%.1f K&quot;.</source>
        <translation>Empty for automatic labels, or one number format %.Nf, %.Ne or %.Ng (N digits, 0 to 17) with optional text around it, e.g. &quot;%.1f K&quot;.</translation>
    </message>
</context>
<context>
    <name>views::TfmCells</name>
    <message>
        <source>&quot;Узкие&quot; ячейки</source>
        <translation>&quot;Narrow&quot; cells</translation>
    </message>
    <message>
        <source>&amp;Закрыть</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Grid representation</source>
        <translation>Grid representation</translation>
    </message>
    <message>
        <source>Compact the grid</source>
        <translation>Compact the grid</translation>
    </message>
    <message>
        <source>Find special points</source>
        <translation>Find special points</translation>
    </message>
</context>
<context>
    <name>views::DiagramRenderer</name>
    <message>
        <source>Incomplete: phases left out of the import</source>
        <translation>Incomplete: phases left out of the import</translation>
    </message>
    <message>
        <source>Finer than the grid (more points show it):</source>
        <translation>Finer than the grid (more points show it):</translation>
    </message>
    <message>
        <source>Stale: the sheet has an error. %1</source>
        <translation>Stale: the sheet has an error. %1</translation>
    </message>
    <message>
        <source>a two-phase band at X %1–%2 between %3 and %4</source>
        <translation>a two-phase band at X %1–%2 between %3 and %4</translation>
    </message>
    <message>
        <source>two invariants at %1 and %2</source>
        <translation>two invariants at %1 and %2</translation>
    </message>
    <message>
        <source>the field of %1 at X %2–%3 ends between %4 and %5</source>
        <translation>the field of %1 at X %2–%3 ends between %4 and %5</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
    <message>
        <source>Мольная доля (X) компонента B в системе A-B</source>
        <translation>Mole fraction (X) of component B in the system A-B</translation>
    </message>
    <message>
        <source>P, бар</source>
        <translation>P, bar</translation>
    </message>
    <message>
        <source>Diagram</source>
        <translation>Diagram</translation>
    </message>
</context>
<context>
    <name>views::TfmDiagram2</name>
    <message>
        <source>Восстановить масштаб</source>
        <translation>Undo zoom</translation>
    </message>
    <message>
        <source>Ред. график</source>
        <translation>Edit chart</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Diagram</source>
        <translation>Diagram</translation>
    </message>
</context>
<context>
    <name>views::TfmMDiagram</name>
    <message>
        <source>Mosaic diagram</source>
        <translation>Mosaic diagram</translation>
    </message>
</context>
<context>
    <name>views::TfmSpecPoints</name>
    <message>
        <source> Прочие особые точки  </source>
        <translation> Other special points  </translation>
    </message>
    <message>
        <source> Ноды </source>
        <translation> Nodes (three-phase equilibria) </translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source> P, бар</source>
        <translation> P, bar</translation>
    </message>
    <message>
        <source> X(лев.)</source>
        <translation> X(left)</translation>
    </message>
    <message>
        <source> X(прав.)</source>
        <translation> X(right)</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>Reaction</source>
        <translation>Reaction</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>X left</source>
        <translation>X left</translation>
    </message>
    <message>
        <source>X middle</source>
        <translation>X middle</translation>
    </message>
    <message>
        <source>X right</source>
        <translation>X right</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Phases</source>
        <translation>Phases</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>Exact values</source>
        <translation>Exact values</translation>
    </message>
    <message>
        <source>Invariant reactions</source>
        <translation>Invariant reactions</translation>
    </message>
    <message>
        <source>Transitions, congruent and critical points</source>
        <translation>Transitions, congruent and critical points</translation>
    </message>
    <message>
        <source>P, bar</source>
        <translation>P, bar</translation>
    </message>
    <message>
        <source>T, K</source>
        <translation>T, K</translation>
    </message>
    <message>
        <source>(approximate)</source>
        <translation>(approximate)</translation>
    </message>
    <message>
        <source>Special points coordinates</source>
        <translation>Special points coordinates</translation>
    </message>
</context>
</TS>
