<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- Russian for the texts of the program that are written in English (its newer windows and
     commands); the texts written in Russian need none. -->
<TS version="2.1" language="ru_RU">
<context>
    <name>views::ChartEditor</name>
    <message>
        <source>Edit chart</source>
        <translation>Редактирование графика</translation>
    </message>
    <message>
        <source>Titles</source>
        <translation>Заголовки</translation>
    </message>
    <message>
        <source>Walls</source>
        <translation>Стенки</translation>
    </message>
    <message>
        <source>Axes</source>
        <translation>Оси</translation>
    </message>
    <message>
        <source>Series</source>
        <translation>Серии</translation>
    </message>
    <message>
        <source>Visible</source>
        <translation>Показывать</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Текст</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Шрифт</translation>
    </message>
    <message>
        <source>Alignment</source>
        <translation>Выравнивание</translation>
    </message>
    <message>
        <source>Colour</source>
        <translation>Цвет</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Заголовок</translation>
    </message>
    <message>
        <source>Foot</source>
        <translation>Подпись</translation>
    </message>
    <message>
        <source>Show the legend</source>
        <translation>Показывать легенду</translation>
    </message>
    <message>
        <source>Chart background</source>
        <translation>Фон графика</translation>
    </message>
    <message>
        <source>Back wall (plot area)</source>
        <translation>Задняя стенка (область графика)</translation>
    </message>
    <message>
        <source>Automatic range</source>
        <translation>Автоматический диапазон</translation>
    </message>
    <message>
        <source>automatic</source>
        <translation>автоматически</translation>
    </message>
    <message>
        <source>Grid</source>
        <translation>Сетка</translation>
    </message>
    <message>
        <source>Labels</source>
        <translation>Подписи</translation>
    </message>
    <message>
        <source>automatic, or e.g. %.2f</source>
        <translation>автоматически или, например, %.2f</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Минимум</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Максимум</translation>
    </message>
    <message>
        <source>Increment</source>
        <translation>Шаг</translation>
    </message>
    <message>
        <source>Minor ticks</source>
        <translation>Промежуточные деления</translation>
    </message>
    <message>
        <source>Grid style</source>
        <translation>Стиль сетки</translation>
    </message>
    <message>
        <source>Grid colour</source>
        <translation>Цвет сетки</translation>
    </message>
    <message>
        <source>Label format</source>
        <translation>Формат подписей</translation>
    </message>
    <message>
        <source>Bottom axis</source>
        <translation>Нижняя ось</translation>
    </message>
    <message>
        <source>Left axis</source>
        <translation>Левая ось</translation>
    </message>
    <message>
        <source>Markers on lines</source>
        <translation>Маркеры на линиях</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Маркер</translation>
    </message>
    <message>
        <source>Marker size</source>
        <translation>Размер маркера</translation>
    </message>
    <message>
        <source>Outline / pen colour</source>
        <translation>Цвет контура / пера</translation>
    </message>
    <message>
        <source>Pen width</source>
        <translation>Толщина пера</translation>
    </message>
    <message>
        <source>Pen style</source>
        <translation>Стиль пера</translation>
    </message>
    <message>
        <source>The %1 axis label format %2.</source>
        <translation>Формат подписей %1 оси %2.</translation>
    </message>
    <message>
        <source>bottom</source>
        <translation>нижней</translation>
    </message>
    <message>
        <source>left</source>
        <translation>левой</translation>
    </message>
    <message>
        <source>Style</source>
        <translation>Стиль</translation>
    </message>
    <message>
        <source>Phase boundaries</source>
        <translation>Границы фаз</translation>
    </message>
    <message>
        <source>Invariant lines</source>
        <translation>Нонвариантные линии</translation>
    </message>
    <message>
        <source>Labels and points</source>
        <translation>Подписи и точки</translation>
    </message>
    <message>
        <source>Reaction type on invariant lines</source>
        <translation>Тип реакции на нонвариантных линиях</translation>
    </message>
    <message>
        <source>Congruent and critical points</source>
        <translation>Конгруэнтные и критические точки</translation>
    </message>
    <message>
        <source>Phase-field labels</source>
        <translation>Подписи фазовых полей</translation>
    </message>
    <message>
        <source>°C</source>
        <translation>°C</translation>
    </message>
    <message>
        <source>Point colour</source>
        <translation>Цвет точек</translation>
    </message>
    <message>
        <source>Label size, px</source>
        <translation>Размер подписей, пикс.</translation>
    </message>
    <message>
        <source>Label colour</source>
        <translation>Цвет подписей</translation>
    </message>
    <message>
        <source>Temperature in</source>
        <translation>Температура в</translation>
    </message>
    <message>
        <source>Composition in</source>
        <translation>Состав в</translation>
    </message>
    <message>
        <source>mole fraction</source>
        <translation>мольных долях</translation>
    </message>
    <message>
        <source>weight percent</source>
        <translation>массовых процентах</translation>
    </message>
    <message>
        <source>Heading (empty: the problem&apos;s name)</source>
        <translation>Заголовок (пусто: имя задачи)</translation>
    </message>
</context>
<context>
    <name>views::EquilibriumPanel</name>
    <message>
        <source>Equilibrium at a point</source>
        <translation>Равновесие в точке</translation>
    </message>
    <message>
        <source>The problem&apos;s phase sheet cannot be used here: %1</source>
        <translation>Выражения задачи здесь использовать нельзя: %1</translation>
    </message>
    <message>
        <source>G, J/mol</source>
        <translation>G, Дж/моль</translation>
    </message>
    <message>
        <source>lower hull</source>
        <translation>нижняя оболочка</translation>
    </message>
    <message>
        <source>tangent</source>
        <translation>касательная</translation>
    </message>
    <message>
        <source>equilibrium</source>
        <translation>равновесие</translation>
    </message>
    <message>
        <source>T = %1 K, p = %2 bar, X(%3) = %4</source>
        <translation>T = %1 K, p = %2 бар, X(%3) = %4</translation>
    </message>
    <message>
        <source>T = %1 °C, p = %2 bar, X(%3) = %4</source>
        <translation>T = %1 °C, p = %2 бар, X(%3) = %4</translation>
    </message>
    <message>
        <source>p = %1 bar, T = %2 °C, X(%3) = %4</source>
        <translation>p = %1 бар, T = %2 °C, X(%3) = %4</translation>
    </message>
    <message>
        <source>p = %1 bar, T = %2 K, X(%3) = %4</source>
        <translation>p = %1 бар, T = %2 K, X(%3) = %4</translation>
    </message>
    <message>
        <source>Phase</source>
        <translation>Фаза</translation>
    </message>
    <message>
        <source>X(%1)</source>
        <translation>X(%1)</translation>
    </message>
    <message>
        <source>Amount</source>
        <translation>Доля</translation>
    </message>
    <message>
        <source>The common tangent did not converge: values of the sampled hull.</source>
        <translation>Общая касательная не сошлась: значения по выборочной оболочке.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>The picture size must be 16 to %1 pixels a side.</source>
        <translation>Размер рисунка должен быть от 16 до %1 пикселей по каждой стороне.</translation>
    </message>
    <message>
        <source>The resolution must be 24 to 2400 dpi.</source>
        <translation>Разрешение должно быть от 24 до 2400 dpi.</translation>
    </message>
    <message>
        <source>Cannot write %1.</source>
        <translation>Не удалось записать %1.</translation>
    </message>
    <message>
        <source>This build cannot write SVG.</source>
        <translation>Эта сборка не умеет записывать SVG.</translation>
    </message>
    <message>
        <source>Export diagram</source>
        <translation>Экспорт диаграммы</translation>
    </message>
    <message>
        <source>PNG picture</source>
        <translation>Рисунок PNG</translation>
    </message>
    <message>
        <source>SVG drawing</source>
        <translation>Рисунок SVG</translation>
    </message>
    <message>
        <source>PDF document</source>
        <translation>Документ PDF</translation>
    </message>
    <message>
        <source>The texts are too large for the picture&apos;s size.</source>
        <translation>Надписи слишком крупны для такого размера рисунка.</translation>
    </message>
    <message>
        <source>There is no diagram to export yet: run a problem first.</source>
        <translation>Диаграммы для экспорта ещё нет: сначала выполните расчёт задачи.</translation>
    </message>
    <message>
        <source>Click the diagram of %1 for the equilibrium at a point.</source>
        <translation>Щёлкните по диаграмме задачи %1, чтобы увидеть равновесие в точке.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2.</source>
        <translation>Не удалось записать %1: %2.</translation>
    </message>
    <message>
        <source>%1, wt%</source>
        <translation>%1, мас.%</translation>
    </message>
    <message>
        <source>X(%1), mole fraction</source>
        <translation>X(%1), мольная доля</translation>
    </message>
    <message>
        <source>%1 wt% %2</source>
        <translation>%1 мас.% %2</translation>
    </message>
    <message>
        <source>Phase fraction (by mass)</source>
        <translation>Доля фазы (по массе)</translation>
    </message>
    <message>
        <source>Phase fraction (by moles of atoms)</source>
        <translation>Доля фазы (по молям атомов)</translation>
    </message>
    <message>
        <source>solid, equilibrium</source>
        <translation>твёрдое, равновесие</translation>
    </message>
    <message>
        <source>solid, Scheil</source>
        <translation>твёрдое, Шейль</translation>
    </message>
    <message>
        <source>activities at %1</source>
        <translation>активности при %1</translation>
    </message>
    <message>
        <source>Activity</source>
        <translation>Активность</translation>
    </message>
    <message>
        <source>ideal, %1</source>
        <translation>идеальный раствор, %1</translation>
    </message>
</context>
<context>
    <name>app::TdbImportDialog</name>
    <message>
        <source> (on sublattices)</source>
        <translation> (на подрешётках)</translation>
    </message>
    <message>
        <source> (disordered part only)</source>
        <translation> (только неупорядоченная часть)</translation>
    </message>
    <message>
        <source>%1 (rejected by the file)</source>
        <translation>%1 (отвергнута файлом)</translation>
    </message>
    <message>
        <source>The file&apos;s REJECT_PHASE command leaves this phase aside; check it to take it in.</source>
        <translation>Команда REJECT_PHASE файла оставляет эту фазу в стороне; отметьте её, чтобы взять.</translation>
    </message>
    <message>
        <source>Import TDB</source>
        <translation>Импорт TDB</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Обзор…</translation>
    </message>
    <message>
        <source>TDB file:</source>
        <translation>Файл TDB:</translation>
    </message>
    <message>
        <source>and (X is its mole fraction)</source>
        <translation>и (X — его мольная доля)</translation>
    </message>
    <message>
        <source>Components:</source>
        <translation>Компоненты:</translation>
    </message>
    <message>
        <source>Phases:</source>
        <translation>Фазы:</translation>
    </message>
    <message>
        <source>Problem name:</source>
        <translation>Имя задачи:</translation>
    </message>
    <message>
        <source>What the import gives:</source>
        <translation>Что даёт импорт:</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Импортировать</translation>
    </message>
    <message>
        <source>TDB databases (*.tdb *.TDB);;All files (*)</source>
        <translation>Базы TDB (*.tdb *.TDB);;Все файлы (*)</translation>
    </message>
    <message>
        <source>No phase is chosen.</source>
        <translation>Не выбрано ни одной фазы.</translation>
    </message>
    <message>
        <source> (compound, X = %1)</source>
        <translation> (соединение, X = %1)</translation>
    </message>
    <message>
        <source>Phases written: %1
</source>
        <translation>Записаны фазы: %1
</translation>
    </message>
    <message>
        <source>Temperature range: %1..%2 K, %3 levels
</source>
        <translation>Диапазон температур: %1..%2 K, %3 уровней
</translation>
    </message>
    <message>
        <source>Skipped phase %1: %2
</source>
        <translation>Пропущена фаза %1: %2
</translation>
    </message>
    <message>
        <source>Note: %1
</source>
        <translation>Примечание: %1
</translation>
    </message>
    <message>
        <source>Choose a TDB file.</source>
        <translation>Выберите файл TDB.</translation>
    </message>
    <message>
        <source>The problem needs a name.</source>
        <translation>Задаче нужно имя.</translation>
    </message>
</context>
<context>
    <name>views::DiagramRenderer</name>
    <message>
        <source>Incomplete: phases left out of the import</source>
        <translation>Неполная диаграмма: фазы, не вошедшие в импорт</translation>
    </message>
    <message>
        <source>Finer than the grid (more points show it):</source>
        <translation>Мельче шага сетки (покажет сетка с большим числом точек):</translation>
    </message>
    <message>
        <source>Stale: the sheet has an error. %1</source>
        <translation>Устарела: в листе ошибка. %1</translation>
    </message>
    <message>
        <source>a two-phase band at X %1–%2 between %3 and %4</source>
        <translation>двухфазная полоса при X %1–%2 между %3 и %4</translation>
    </message>
    <message>
        <source>two invariants at %1 and %2</source>
        <translation>два нонвариантных равновесия при %1 и %2</translation>
    </message>
    <message>
        <source>the field of %1 at X %2–%3 ends between %4 and %5</source>
        <translation>поле %1 при X %2–%3 кончается между %4 и %5</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>и ещё %n</numerusform>
            <numerusform>и ещё %n</numerusform>
            <numerusform>и ещё %n</numerusform>
        </translation>
    </message>
    <message>
        <source>X(%1), mole fraction of %1 in the system %2-%1</source>
        <translation>X(%1), мольная доля %1 в системе %2-%1</translation>
    </message>
    <message>
        <source>%1, weight percent in the system %2-%1</source>
        <translation>%1, мас.% в системе %2-%1</translation>
    </message>
    <message>
        <source>Weight percent of component B in the system A-B</source>
        <translation>Массовый процент компонента B в системе A-B</translation>
    </message>
    <message>
        <source>Mole fractions: weight percent needs the masses of the components (&apos;% masses:&apos; or element names in &apos;% components:&apos;)</source>
        <translation>Мольные доли: для массовых процентов нужны массы компонентов (&apos;% masses:&apos; или названия элементов в &apos;% components:&apos;)</translation>
    </message>
</context>
<context>
    <name>views::TfmDiagram2</name>
    <message>
        <source>Export diagram…</source>
        <translation>Экспорт диаграммы…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>Undo zoom</source>
        <translation>Отменить увеличение</translation>
    </message>
    <message>
        <source>%1: these settings were refused and the designed ones are used instead: %2.</source>
        <translation>%1: эти настройки отклонены, вместо них взяты исходные: %2.</translation>
    </message>
    <message>
        <source>%1 was not read (%2); the designed look is used.</source>
        <translation>%1 не прочитан (%2); взят исходный вид.</translation>
    </message>
    <message>
        <source>The file as it was is kept as %1.</source>
        <translation>Файл в прежнем виде сохранён как %1.</translation>
    </message>
    <message>
        <source>It could not be copied, so it will not be saved over.</source>
        <translation>Его не удалось скопировать, поэтому он не будет перезаписан.</translation>
    </message>
    <message>
        <source>Cooling path at X = %1</source>
        <translation>Путь охлаждения при X = %1</translation>
    </message>
    <message>
        <source>Path in pressure at X = %1</source>
        <translation>Путь по давлению при X = %1</translation>
    </message>
    <message>
        <source>Cooling path at %1 wt% %2</source>
        <translation>Путь охлаждения при %1 мас.% %2</translation>
    </message>
    <message>
        <source>Path in pressure at %1 wt% %2</source>
        <translation>Путь по давлению при %1 мас.% %2</translation>
    </message>
</context>
<context>
    <name>views::ExportDialog</name>
    <message>
        <source>Export diagram</source>
        <translation>Экспорт диаграммы</translation>
    </message>
    <message>
        <source>PNG picture</source>
        <translation>Рисунок PNG</translation>
    </message>
    <message>
        <source>SVG drawing</source>
        <translation>Рисунок SVG</translation>
    </message>
    <message>
        <source>PDF document</source>
        <translation>Документ PDF</translation>
    </message>
    <message>
        <source>millimetres</source>
        <translation>миллиметры</translation>
    </message>
    <message>
        <source>inches</source>
        <translation>дюймы</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Формат</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Единица</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>Ширина</translation>
    </message>
    <message>
        <source>Height</source>
        <translation>Высота</translation>
    </message>
    <message>
        <source>Resolution, dpi</source>
        <translation>Разрешение, dpi</translation>
    </message>
    <message>
        <source>Axis numbers, pt</source>
        <translation>Числа на осях, пт</translation>
    </message>
    <message>
        <source>Grid points</source>
        <translation>Точки сетки</translation>
    </message>
    <message>
        <source>%1 × %2 pixels</source>
        <translation>%1 × %2 пикселей</translation>
    </message>
</context>
<context>
    <name>app::TfmMain</name>
    <message>
        <source>Line %1 (%2), column %3:</source>
        <translation>Строка %1 (%2), столбец %3:</translation>
    </message>
    <message>
        <source>Phase %1 at X = %2, %3 = %4</source>
        <translation>Фаза %1 при X = %2, %3 = %4</translation>
    </message>
    <message>
        <source>The export settings could not be saved: %1</source>
        <translation>Не удалось сохранить настройки экспорта: %1</translation>
    </message>
    <message>
        <source>&amp;Import TDB…</source>
        <translation>&amp;Импорт TDB…</translation>
    </message>
    <message>
        <source>&amp;Export diagram…</source>
        <translation>&amp;Экспорт диаграммы…</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Язык</translation>
    </message>
    <message>
        <source>The language could not be saved: %1</source>
        <translation>Не удалось сохранить выбор языка: %1</translation>
    </message>
    <message>
        <source>The new language is used from the next start of the program.</source>
        <translation>Новый язык будет использован при следующем запуске программы.</translation>
    </message>
    <message>
        <source>&amp;Results</source>
        <translation>&amp;Результаты</translation>
    </message>
    <message>
        <source>&amp;Cell grid</source>
        <translation>&amp;Сетка ячеек</translation>
    </message>
    <message>
        <source>Exact values</source>
        <translation>Точные значения</translation>
    </message>
    <message>
        <source>Recompute the diagram as the sheet, the range or the grid is edited: a preview on a coarser grid, then the whole grid</source>
        <translation>Пересчитывать диаграмму при правке листа, диапазона или сетки: сначала на грубой сетке, затем на всей</translation>
    </message>
    <message>
        <source>Solve invariants, transitions, critical points and boundaries from the Gibbs energies after the sweep</source>
        <translation>После расчёта уточнить по энергиям Гиббса нонвариантные реакции, переходы, критические точки и границы</translation>
    </message>
    <message>
        <source>The database %1 was changed by another program since this window read it. Replace it with this window&apos;s problems?</source>
        <translation>База данных %1 была изменена другой программой после того, как это окно её прочитало. Заменить её задачами этого окна?</translation>
    </message>
    <message>
        <source>The problem is named &quot;%1&quot;: a problem name holds %2 characters, and each name is given once.</source>
        <translation>Задача названа «%1»: имя задачи вмещает %2 символов, и каждое имя даётся один раз.</translation>
    </message>
    <message>
        <source>done</source>
        <translation>готово</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>прервано</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>отказ</translation>
    </message>
    <message>
        <source>step</source>
        <translation>шаг</translation>
    </message>
</context>
<context>
    <name>views::TfmSpecPoints</name>
    <message>
        <source>Type</source>
        <translation>Тип</translation>
    </message>
    <message>
        <source>Reaction</source>
        <translation>Реакция</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>X left</source>
        <translation>X слева</translation>
    </message>
    <message>
        <source>X middle</source>
        <translation>X в середине</translation>
    </message>
    <message>
        <source>X right</source>
        <translation>X справа</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Вид</translation>
    </message>
    <message>
        <source>Phases</source>
        <translation>Фазы</translation>
    </message>
    <message>
        <source>Exact values</source>
        <translation>Точные значения</translation>
    </message>
    <message>
        <source>Invariant reactions</source>
        <translation>Нонвариантные реакции</translation>
    </message>
    <message>
        <source>Transitions, congruent and critical points</source>
        <translation>Переходы, конгруэнтные и критические точки</translation>
    </message>
    <message>
        <source>(approximate)</source>
        <translation>(приближённо)</translation>
    </message>
</context>
<context>
    <name>views::LabelFormat</name>
    <message>
        <source>is longer than %1 characters</source>
        <translation>длиннее %1 символов</translation>
    </message>
    <message>
        <source>has no number conversion such as %.2f</source>
        <translation>не содержит числового формата вида %.2f</translation>
    </message>
    <message>
        <source>holds more than one %</source>
        <translation>содержит больше одного %</translation>
    </message>
    <message>
        <source>needs a point and a precision after the %</source>
        <translation>требует точку и точность после %</translation>
    </message>
    <message>
        <source>has no precision after the point</source>
        <translation>не содержит точности после точки</translation>
    </message>
    <message>
        <source>has a precision above %1</source>
        <translation>задаёт точность больше %1</translation>
    </message>
    <message>
        <source>needs one of f, e, g, E, G, d, i after the precision</source>
        <translation>требует одну из букв f, e, g, E, G, d, i после точности</translation>
    </message>
    <message>
        <source>Empty for automatic labels, or one number format %.Nf, %.Ne or %.Ng (N digits, 0 to 17) with optional text around it, e.g. &quot;%.1f K&quot;.</source>
        <translation>Пусто для автоматических подписей или один числовой формат %.Nf, %.Ne или %.Ng (N цифр, от 0 до 17), при желании с текстом вокруг, например &quot;%.1f K&quot;.</translation>
    </message>
</context>
<context>
    <name>views::PathPlotWindow</name>
    <message>
        <source>Phase fractions</source>
        <translation>Доли фаз</translation>
    </message>
    <message>
        <source>Activities</source>
        <translation>Активности</translation>
    </message>
    <message>
        <source>Scheil solidification</source>
        <translation>Кристаллизация по Шейлю</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Экспорт…</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>The problem&apos;s phase sheet cannot be used here: %1</source>
        <translation>Выражения задачи здесь использовать нельзя: %1</translation>
    </message>
    <message>
        <source>Cooling path</source>
        <translation>Путь охлаждения</translation>
    </message>
    <message>
        <source>Path in pressure</source>
        <translation>Путь по давлению</translation>
    </message>
    <message>
        <source>approximate</source>
        <translation>приближённо</translation>
    </message>
    <message>
        <source>No phase boundary is crossed.</source>
        <translation>Путь не пересекает границ фаз.</translation>
    </message>
    <message>
        <source>Scheil: %1</source>
        <translation>Шейль: %1</translation>
    </message>
    <message>
        <source>the last liquid (%1 of the alloy) freezes as a eutectic at %2</source>
        <translation>последняя жидкость (%1 сплава) кристаллизуется как эвтектика при %2</translation>
    </message>
    <message>
        <source>liquid (%1 of the alloy) is left at %2</source>
        <translation>при %2 остаётся жидкость (%1 сплава)</translation>
    </message>
    <message>
        <source>the last liquid (%1 of the alloy&apos;s mass) freezes as a eutectic at %2</source>
        <translation>последняя жидкость (%1 массы сплава) кристаллизуется как эвтектика при %2</translation>
    </message>
    <message>
        <source>liquid (%1 of the alloy&apos;s mass) is left at %2</source>
        <translation>при %2 остаётся жидкость (%1 массы сплава)</translation>
    </message>
    <message>
        <source>the last liquid freezes at %1</source>
        <translation>последняя жидкость кристаллизуется при %1</translation>
    </message>
    <message>
        <source>Scheil: first solid at %1; %2</source>
        <translation>Шейль: первая твёрдая фаза при %1; %2</translation>
    </message>
    <message>
        <source>The path ended early: %1</source>
        <translation>Путь прервался: %1</translation>
    </message>
    <message>
        <source>Export plot</source>
        <translation>Экспорт графика</translation>
    </message>
    <message>
        <source>Export plot…</source>
        <translation>Экспорт графика…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
</context>
</TS>
