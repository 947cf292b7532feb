<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="zh_CN">
<context>
    <name>AudioController</name>
    <message>
        <source>title</source>
        <translation>Название</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>ЭФИР</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>МОНИТОРИНГ</translation>
    </message>
</context>
<context>
    <name>AutoGainWindow</name>
    <message>
        <source>自动增益</source>
        <translation>Автоусиление</translation>
    </message>
    <message>
        <source>设置成功
增益为 %1</source>
        <translation>Готово
Усиление: %1</translation>
    </message>
    <message>
        <source>使用正常的音量讲话
倒计时 </source>
        <translation>Говорите с обычной громкостью
Осталось </translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>ОК</translation>
    </message>
</context>
<context>
    <name>CustomComAppBox</name>
    <message>
        <source>系统浏览器</source>
        <translation>Открыть браузер</translation>
    </message>
</context>
<context>
    <name>CustomerWindow</name>
    <message>
        <source>客服</source>
        <translation>Связаться с поддержкой</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Связаться с нами</translation>
    </message>
    <message>
        <source>周一到周日：9:00-12:00，13:00-18:00 (GMT+8)</source>
        <translation>Пн–Вс: 9:00–12:00, 13:00–18:00 (GMT+8)</translation>
    </message>
    <message>
        <source>电话</source>
        <translation>Телефон</translation>
    </message>
    <message>
        <source>400-000-0000</source>
        <translation>400-000-0000</translation>
    </message>
    <message>
        <source>企业微信（请扫码添加客服）</source>
        <translation>WeChat для бизнеса (отсканируйте QR-код, чтобы добавить поддержку)</translation>
    </message>
    <message>
        <source>邮箱</source>
        <translation>Эл. почта</translation>
    </message>
    <message>
        <source>support@example.com</source>
        <translation>support@example.com</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Поддержка</translation>
    </message>
    <message>
        <source>Mon to Sun.9:00-12:00,13:00-18:30 (GMT+8)</source>
        <translation>Пн–Вс: 9:00–12:00, 13:00–18:30 (GMT+8)</translation>
    </message>
    <message>
        <source>Online Support</source>
        <translation>Онлайн-поддержка</translation>
    </message>
    <message>
        <source>WhatsApp</source>
        <translation>WhatsApp</translation>
    </message>
    <message>
        <source>+1 555 0100</source>
        <translation>+1 555 0100</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>Эл. почта</translation>
    </message>
</context>
<context>
    <name>DeviceSettings</name>
    <message>
        <source>话筒</source>
        <translation>Микрофон</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>Мониторинг</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>灯光</source>
        <translation>Подсветка</translation>
    </message>
    <message>
        <source>新版本</source>
        <translation>Новая версия</translation>
    </message>
</context>
<context>
    <name>EqualizerWindow</name>
    <message>
        <source>均衡器</source>
        <translation>Эквалайзер</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Настройте разные частоты, чтобы голос звучал чище и выразительнее.</translation>
    </message>
</context>
<context>
    <name>GeneralTab</name>
    <message>
        <source>App</source>
        <translation>Прил.</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>热键</source>
        <translation>Сочетание клавиш</translation>
    </message>
    <message>
        <source>系统截图</source>
        <translation>Снимок экрана</translation>
    </message>
    <message>
        <source>系统录屏</source>
        <translation>Запись экрана</translation>
    </message>
    <message>
        <source>旋钮按键</source>
        <translation>Двойное нажатие регулятора</translation>
    </message>
    <message>
        <source>当Veloran Deck 在后台运行时，双击旋钮可执行自定义功能。</source>
        <translation>Когда Veloran Deck работает в фоне, двойное нажатие регулятора выполняет назначенное действие.</translation>
    </message>
    <message>
        <source>请输入URL</source>
        <translation>Введите URL</translation>
    </message>
    <message>
        <source>请输入键位</source>
        <translation>Введите клавиши</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>有固件可升级</source>
        <translation>Доступна новая прошивка</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>актуален</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Проверить обновления</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Частота дискретизации</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Индикатор</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Сброс настроек</translation>
    </message>
</context>
<context>
    <name>LightingEffectPage</name>
    <message>
        <source>颜色</source>
        <translation>Цвет</translation>
    </message>
</context>
<context>
    <name>LightingSub1</name>
    <message>
        <source>单色</source>
        <translation>Один цвет</translation>
    </message>
    <message>
        <source>幻彩</source>
        <translation>Градиент</translation>
    </message>
</context>
<context>
    <name>LightingSub2</name>
    <message>
        <source>单色</source>
        <translation>Один цвет</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Цикл</translation>
    </message>
    <message>
        <source>循环顺序</source>
        <translation>Порядок цикла</translation>
    </message>
</context>
<context>
    <name>LightingSub3</name>
    <message>
        <source>方向</source>
        <translation>Направление</translation>
    </message>
</context>
<context>
    <name>LightingTab</name>
    <message>
        <source>背景</source>
        <translation>Фон</translation>
    </message>
    <message>
        <source>声卡接电时显示背景灯光</source>
        <translation>Фоновая подсветка горит, пока на Veloran подано питание.</translation>
    </message>
    <message>
        <source>效果</source>
        <translation>Эффекты</translation>
    </message>
    <message>
        <source>静态</source>
        <translation>Ровный</translation>
    </message>
    <message>
        <source>呼吸</source>
        <translation>Пульс</translation>
    </message>
    <message>
        <source>波浪</source>
        <translation>Волна</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Выкл.</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>ВХОДЫ</translation>
    </message>
    <message>
        <source>话筒输入时，根据音量大小动态显示</source>
        <translation>Подсветка меняется вместе с уровнем сигнала микрофона.</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Цвет</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Направление</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Индикатор</translation>
    </message>
    <message>
        <source>麦克风增益</source>
        <translation>Усиление микрофона</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Громкость выхода</translation>
    </message>
    <message>
        <source>麦克风/电脑音量监听比</source>
        <translation>Микс микрофон/ПК</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Без звука</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>Прочее</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Яркость</translation>
    </message>
    <message>
        <source>关闭灯光</source>
        <translation>Выключить подсветку</translation>
    </message>
    <message>
        <source>关闭显示屏时自动关灯</source>
        <translation>Выключать подсветку вместе с экраном</translation>
    </message>
    <message>
        <source>关闭RGB灯</source>
        <translation>Выключить RGB-подсветку</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Veloran Deck</source>
        <translation>Veloran Deck</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Справка</translation>
    </message>
    <message>
        <source>客服</source>
        <translation>Связаться с поддержкой</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Настройки</translation>
    </message>
</context>
<context>
    <name>MainSettings</name>
    <message>
        <source>输出</source>
        <translation>ВЫХОДЫ</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>ВХОДЫ</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>有新版本可升级,是否重启并升级软件?</source>
        <translation>Доступна новая версия. Перезапустить и обновить программу?</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>立即升级</source>
        <translation>Обновить сейчас</translation>
    </message>
</context>
<context>
    <name>MessageDialogMgr</name>
    <message>
        <source>有新版本可升级，是否重启并升级软件？</source>
        <translation>Доступна новая версия. Перезапустить и обновить программу?</translation>
    </message>
    <message>
        <source>Veloran 有新固件可升级，是否升级设备？</source>
        <translation>Для Veloran доступна новая прошивка. Обновить устройство?</translation>
    </message>
</context>
<context>
    <name>MicrophoneTab</name>
    <message>
        <source>高</source>
        <translation>Выс.</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Сред.</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Низ.</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Выкл.</translation>
    </message>
    <message>
        <source>XLR输入</source>
        <translation>Вход XLR</translation>
    </message>
    <message>
        <source>话筒</source>
        <translation>Микрофон</translation>
    </message>
    <message>
        <source>增益</source>
        <translation>Усиление</translation>
    </message>
    <message>
        <source>提高增益，避免声音过小。
降低增益，避免声音失真。</source>
        <translation>Увеличьте усиление, если звук слишком тихий.
Уменьшите его, чтобы избежать искажений.</translation>
    </message>
    <message>
        <source>自动增益</source>
        <translation>Автоусиление</translation>
    </message>
    <message>
        <source>开启后，话筒音量将自动调节至最佳增益。</source>
        <translation>При включении микрофон сам подбирает оптимальное усиление.</translation>
    </message>
    <message>
        <source>开始检测</source>
        <translation>Начать</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Без звука</translation>
    </message>
    <message>
        <source>48V幻象电源</source>
        <translation>Фантомное питание 48 В</translation>
    </message>
    <message>
        <source>音频增强</source>
        <translation>Улучшение звука</translation>
    </message>
    <message>
        <source>原声</source>
        <translation>Акустика</translation>
    </message>
    <message>
        <source>播客</source>
        <translation>Подкаст</translation>
    </message>
    <message>
        <source>游戏</source>
        <translation>Игры</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Стрим</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Свой</translation>
    </message>
    <message>
        <source>AI降噪</source>
        <translation>ИИ-шумоподавление</translation>
    </message>
    <message>
        <source>弱降噪可以在消除环境噪音的同时，保持高音质收音效果。强降噪可以更好的消除环境噪音，音质损失较弱降噪略大</source>
        <translation>Слабое шумоподавление убирает фоновый шум, сохраняя высокое качество записи. Сильное убирает шум эффективнее, но качество звука страдает немного больше.</translation>
    </message>
    <message>
        <source>弱降噪</source>
        <translation>Слабое</translation>
    </message>
    <message>
        <source>强降噪</source>
        <translation>Сильное</translation>
    </message>
    <message>
        <source>防爆音</source>
        <translation>Защита от перегрузки</translation>
    </message>
    <message>
        <source>用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音</source>
        <translation>Лимитер не даёт пикам уровня искажать звук.</translation>
    </message>
    <message>
        <source>压缩器</source>
        <translation>Компрессор</translation>
    </message>
    <message>
        <source>压缩器用于控制音频信号的动态范围，开启后，可避免音量过高导致失真或听感刺耳。</source>
        <translation>Компрессор сужает динамический диапазон и не даёт громким звукам искажаться.</translation>
    </message>
    <message>
        <source>均衡器</source>
        <translation>Эквалайзер</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Настройте разные частоты, чтобы голос звучал чище и выразительнее.</translation>
    </message>
</context>
<context>
    <name>MonitorTab</name>
    <message>
        <source>监听</source>
        <translation>Мониторинг</translation>
    </message>
    <message>
        <source>麦克风/电脑监听比</source>
        <translation>Микс микрофон / ПК</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Громкость выхода</translation>
    </message>
</context>
<context>
    <name>ResetWindow</name>
    <message>
        <source>恢复出厂</source>
        <translation>Сброс настроек</translation>
    </message>
    <message>
        <source>恢复出厂设置后，所有设置将恢复至默认状态，确定要恢复出厂设置吗？</source>
        <translation>Сброс к заводским настройкам удалит все параметры. Продолжить?</translation>
    </message>
    <message>
        <source>设置中</source>
        <translation>Выполняется</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>ОК</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>设置</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>关于 Veloran Deck</source>
        <translation>О Veloran Deck</translation>
    </message>
    <message>
        <source>正在检测更新</source>
        <translation>Поиск обновлений</translation>
    </message>
    <message>
        <source>新版本下载失败，请检查网络环境或稍后重试</source>
        <translation>Не удалось загрузить обновление. Проверьте сеть и повторите.</translation>
    </message>
    <message>
        <source>新版本 %1 下载完成，重新启动以进行升级</source>
        <translation>Версия %1 готова. Перезапустите программу, чтобы завершить обновление.</translation>
    </message>
    <message>
        <source>正在下载新版本 %1</source>
        <translation>Загрузка версии %1…</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>актуален</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Проверить обновления</translation>
    </message>
    <message>
        <source>自动安装最新版本</source>
        <translation>Устанавливать обновления автоматически</translation>
    </message>
    <message>
        <source>如关闭自动安装，你仍会收到新版本提示，但需手动点击“立即升级”后才可升级</source>
        <translation>Без автоустановки вы получаете уведомления о новых версиях и обновляете кнопкой «Обновить сейчас».</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>分析</source>
        <translation>Аналитика</translation>
    </message>
    <message>
        <source>与Veloran分享使用数据</source>
        <translation>Делиться с Veloran данными об использовании</translation>
    </message>
    <message>
        <source>隐私政策</source>
        <translation>Политика конфиденциальности</translation>
    </message>
</context>
<context>
    <name>UpgradeWindow</name>
    <message>
        <source>软件升级</source>
        <translation>Обновление программы</translation>
    </message>
    <message>
        <source>在升级过程中发生错误，建议您重新启动应用，或从官网下载最新版手动安装。</source>
        <translation>Ошибка при обновлении. Перезапустите Veloran Deck или установите последнюю версию вручную с официального сайта.</translation>
    </message>
    <message>
        <source>前往官网下载</source>
        <translation>Скачать с сайта</translation>
    </message>
    <message>
        <source>立即重启</source>
        <translation>Перезапустить</translation>
    </message>
</context>
<context>
    <name>WelcomeLayout</name>
    <message>
        <source>连接你的 Veloran 设备</source>
        <translation>Подключите устройство Veloran</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Подключено</translation>
    </message>
    <message>
        <source>Veloran Deck 可将你的兼容设备变身为强大中枢
支持低延迟混音，体验高清音质，享受每一次声音表达</source>
        <translation>Veloran Deck превращает совместимое устройство в мощный центр управления.
Микширование с низкой задержкой, чистый звук и свобода выражения каждого голоса.</translation>
    </message>
    <message>
        <source>开启高清音质之旅</source>
        <translation>Начать</translation>
    </message>
    <message>
        <source>升级中</source>
        <translation>Обновление…</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Не удалось обновить</translation>
    </message>
    <message>
        <source>升级成功</source>
        <translation>Обновление завершено</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用。
升级期间监听比灯亮属于正常自检，不会修改设置。</source>
        <translation>Не отключайте устройство и не закрывайте приложение.
Во время обновления индикатор микса микрофон/ПК загорается для самопроверки; настройки не изменятся.</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用</source>
        <translation>Не отключайте устройство и не закрывайте приложение</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Повторить</translation>
    </message>
</context>
<context>
    <name>eqcurve</name>
    <message>
        <source>原声</source>
        <translation>Акустика</translation>
    </message>
    <message>
        <source>人声增强</source>
        <translation>Усиление голоса</translation>
    </message>
    <message>
        <source>低切75Hz</source>
        <translation>Срез НЧ 75 Гц</translation>
    </message>
    <message>
        <source>低切150Hz</source>
        <translation>Срез НЧ 150 Гц</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Свой</translation>
    </message>
    <message>
        <source>平坦</source>
        <translation>Ровный</translation>
    </message>
    <message>
        <source>中频增强</source>
        <translation>Подъём СЧ</translation>
    </message>
    <message>
        <source>低中频增强</source>
        <translation>Подъём нижних СЧ</translation>
    </message>
</context>
</TS>
