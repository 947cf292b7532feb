<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="zh_CN">
<context>
    <name>AudioController</name>
    <message>
        <source>title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>STREAM-MIX</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>MONITOR-MIX</translation>
    </message>
</context>
<context>
    <name>AutoGainWindow</name>
    <message>
        <source>自动增益</source>
        <translation>Auto-Gain</translation>
    </message>
    <message>
        <source>设置成功
增益为 %1</source>
        <translation>Erfolgreich
Verstärkung auf %1 gesetzt.</translation>
    </message>
    <message>
        <source>使用正常的音量讲话
倒计时 </source>
        <translation>Sprechen Sie in normaler Lautstärke
Noch </translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CustomComAppBox</name>
    <message>
        <source>系统浏览器</source>
        <translation>Browser öffnen</translation>
    </message>
</context>
<context>
    <name>CustomerWindow</name>
    <message>
        <source>客服</source>
        <translation>Support kontaktieren</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Kontakt</translation>
    </message>
    <message>
        <source>周一到周日：9:00-12:00，13:00-18:00 (GMT+8)</source>
        <translation>Mo–So: 9:00–12:00, 13:00–18:00 (GMT+8)</translation>
    </message>
    <message>
        <source>电话</source>
        <translation>Telefon</translation>
    </message>
    <message>
        <source>400-000-0000</source>
        <translation>400-000-0000</translation>
    </message>
    <message>
        <source>企业微信（请扫码添加客服）</source>
        <translation>WeChat Work (QR-Code scannen, um den Support hinzuzufügen)</translation>
    </message>
    <message>
        <source>邮箱</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>support@example.com</source>
        <translation>support@example.com</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Support</translation>
    </message>
    <message>
        <source>Mon to Sun.9:00-12:00,13:00-18:30 (GMT+8)</source>
        <translation>Mo–So: 9:00–12:00, 13:00–18:30 (GMT+8)</translation>
    </message>
    <message>
        <source>Online Support</source>
        <translation>Online-Support</translation>
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
        <translation>E-Mail</translation>
    </message>
</context>
<context>
    <name>DeviceSettings</name>
    <message>
        <source>话筒</source>
        <translation>Mikrofon</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>灯光</source>
        <translation>Beleuchtung</translation>
    </message>
    <message>
        <source>新版本</source>
        <translation>Neue Version</translation>
    </message>
</context>
<context>
    <name>EqualizerWindow</name>
    <message>
        <source>均衡器</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Stimmen Sie die Frequenzen ab, damit Ihre Stimme klarer und unverwechselbarer klingt.</translation>
    </message>
</context>
<context>
    <name>GeneralTab</name>
    <message>
        <source>App</source>
        <translation>App</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>热键</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>系统截图</source>
        <translation>Bildschirmfoto</translation>
    </message>
    <message>
        <source>系统录屏</source>
        <translation>Bildschirmaufnahme</translation>
    </message>
    <message>
        <source>旋钮按键</source>
        <translation>Doppeltippen am Drehregler</translation>
    </message>
    <message>
        <source>当Veloran Deck 在后台运行时，双击旋钮可执行自定义功能。</source>
        <translation>Läuft Veloran Deck im Hintergrund, löst ein Doppeltippen auf den Drehregler die gewählte Funktion aus.</translation>
    </message>
    <message>
        <source>请输入URL</source>
        <translation>URL eingeben</translation>
    </message>
    <message>
        <source>请输入键位</source>
        <translation>Tasten eingeben</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>有固件可升级</source>
        <translation>Firmware-Update verfügbar</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>ist aktuell</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Jetzt aktualisieren</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Abtastrate</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Anzeige-LED</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Werkseinstellungen</translation>
    </message>
</context>
<context>
    <name>LightingEffectPage</name>
    <message>
        <source>颜色</source>
        <translation>Farbe</translation>
    </message>
</context>
<context>
    <name>LightingSub1</name>
    <message>
        <source>单色</source>
        <translation>Einfarbig</translation>
    </message>
    <message>
        <source>幻彩</source>
        <translation>Verlauf</translation>
    </message>
</context>
<context>
    <name>LightingSub2</name>
    <message>
        <source>单色</source>
        <translation>Einfarbig</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Schleife</translation>
    </message>
    <message>
        <source>循环顺序</source>
        <translation>Reihenfolge</translation>
    </message>
</context>
<context>
    <name>LightingSub3</name>
    <message>
        <source>方向</source>
        <translation>Richtung</translation>
    </message>
</context>
<context>
    <name>LightingTab</name>
    <message>
        <source>背景</source>
        <translation>Hintergrund</translation>
    </message>
    <message>
        <source>声卡接电时显示背景灯光</source>
        <translation>Die Hintergrundbeleuchtung leuchtet, sobald Veloran mit Strom versorgt wird.</translation>
    </message>
    <message>
        <source>效果</source>
        <translation>Effekte</translation>
    </message>
    <message>
        <source>静态</source>
        <translation>Statisch</translation>
    </message>
    <message>
        <source>呼吸</source>
        <translation>Atmen</translation>
    </message>
    <message>
        <source>波浪</source>
        <translation>Welle</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>EINGÄNGE</translation>
    </message>
    <message>
        <source>话筒输入时，根据音量大小动态显示</source>
        <translation>Die Beleuchtung folgt dem Pegel des Mikrofoneingangs.</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Richtung</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Anzeige-LED</translation>
    </message>
    <message>
        <source>麦克风增益</source>
        <translation>Mikrofonverstärkung</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Ausgangslautstärke</translation>
    </message>
    <message>
        <source>麦克风/电脑音量监听比</source>
        <translation>Mikro/PC-Mix</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>Sonstiges</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <source>关闭灯光</source>
        <translation>Licht ausschalten</translation>
    </message>
    <message>
        <source>关闭显示屏时自动关灯</source>
        <translation>Licht aus, wenn der Bildschirm ausgeht</translation>
    </message>
    <message>
        <source>关闭RGB灯</source>
        <translation>RGB-Licht ausschalten</translation>
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
        <translation>Hilfe-Center</translation>
    </message>
    <message>
        <source>客服</source>
        <translation>Support kontaktieren</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Einstellungen</translation>
    </message>
</context>
<context>
    <name>MainSettings</name>
    <message>
        <source>输出</source>
        <translation>AUSGÄNGE</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>EINGÄNGE</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>有新版本可升级,是否重启并升级软件?</source>
        <translation>Eine neue Version ist verfügbar. Jetzt neu starten und aktualisieren?</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>立即升级</source>
        <translation>Jetzt aktualisieren</translation>
    </message>
</context>
<context>
    <name>MessageDialogMgr</name>
    <message>
        <source>有新版本可升级，是否重启并升级软件？</source>
        <translation>Eine neue Version ist verfügbar. Jetzt neu starten und aktualisieren?</translation>
    </message>
    <message>
        <source>Veloran 有新固件可升级，是否升级设备？</source>
        <translation>Für Veloran ist eine neue Firmware verfügbar. Gerät aktualisieren?</translation>
    </message>
</context>
<context>
    <name>MicrophoneTab</name>
    <message>
        <source>高</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>XLR输入</source>
        <translation>XLR-Eingang</translation>
    </message>
    <message>
        <source>话筒</source>
        <translation>Mikrofon</translation>
    </message>
    <message>
        <source>增益</source>
        <translation>Verstärkung</translation>
    </message>
    <message>
        <source>提高增益，避免声音过小。
降低增益，避免声音失真。</source>
        <translation>Verstärkung erhöhen, wenn es zu leise ist.
Verstärkung senken, um Verzerrungen zu vermeiden.</translation>
    </message>
    <message>
        <source>自动增益</source>
        <translation>Auto-Gain</translation>
    </message>
    <message>
        <source>开启后，话筒音量将自动调节至最佳增益。</source>
        <translation>Wenn aktiviert, stellt sich das Mikrofon automatisch auf die optimale Verstärkung ein.</translation>
    </message>
    <message>
        <source>开始检测</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>48V幻象电源</source>
        <translation>48V-Phantomspeisung</translation>
    </message>
    <message>
        <source>音频增强</source>
        <translation>Klangoptimierung</translation>
    </message>
    <message>
        <source>原声</source>
        <translation>Natürlich</translation>
    </message>
    <message>
        <source>播客</source>
        <translation>Podcast</translation>
    </message>
    <message>
        <source>游戏</source>
        <translation>Spiel</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Eigene</translation>
    </message>
    <message>
        <source>AI降噪</source>
        <translation>KI-Rauschunterdrückung</translation>
    </message>
    <message>
        <source>弱降噪可以在消除环境噪音的同时，保持高音质收音效果。强降噪可以更好的消除环境噪音，音质损失较弱降噪略大</source>
        <translation>Schwache Rauschunterdrückung entfernt Umgebungsgeräusche und erhält die hohe Aufnahmequalität. Starke Rauschunterdrückung entfernt Umgebungsgeräusche gründlicher, kostet aber etwas mehr Klangqualität.</translation>
    </message>
    <message>
        <source>弱降噪</source>
        <translation>Schwach</translation>
    </message>
    <message>
        <source>强降噪</source>
        <translation>Stark</translation>
    </message>
    <message>
        <source>防爆音</source>
        <translation>Übersteuerungsschutz</translation>
    </message>
    <message>
        <source>用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音</source>
        <translation>Ein Limiter verhindert Verzerrungen durch Pegelspitzen.</translation>
    </message>
    <message>
        <source>压缩器</source>
        <translation>Kompressor</translation>
    </message>
    <message>
        <source>压缩器用于控制音频信号的动态范围，开启后，可避免音量过高导致失真或听感刺耳。</source>
        <translation>Der Kompressor verringert den Dynamikumfang und verhindert Verzerrungen durch laute Töne.</translation>
    </message>
    <message>
        <source>均衡器</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Stimmen Sie die Frequenzen ab, damit Ihre Stimme klarer und unverwechselbarer klingt.</translation>
    </message>
</context>
<context>
    <name>MonitorTab</name>
    <message>
        <source>监听</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>麦克风/电脑监听比</source>
        <translation>Mikro / PC-Mix</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Ausgangslautstärke</translation>
    </message>
</context>
<context>
    <name>ResetWindow</name>
    <message>
        <source>恢复出厂</source>
        <translation>Werkseinstellungen</translation>
    </message>
    <message>
        <source>恢复出厂设置后，所有设置将恢复至默认状态，确定要恢复出厂设置吗？</source>
        <translation>Beim Zurücksetzen auf Werkseinstellungen werden alle Einstellungen gelöscht. Fortfahren?</translation>
    </message>
    <message>
        <source>设置中</source>
        <translation>Wird ausgeführt</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Erfolgreich</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>设置</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>关于 Veloran Deck</source>
        <translation>Über Veloran Deck</translation>
    </message>
    <message>
        <source>正在检测更新</source>
        <translation>Suche nach Updates</translation>
    </message>
    <message>
        <source>新版本下载失败，请检查网络环境或稍后重试</source>
        <translation>Update-Download fehlgeschlagen. Prüfen Sie Ihre Verbindung und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>新版本 %1 下载完成，重新启动以进行升级</source>
        <translation>Version %1 ist bereit. Zum Aktualisieren neu starten.</translation>
    </message>
    <message>
        <source>正在下载新版本 %1</source>
        <translation>Version %1 wird geladen…</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>ist aktuell</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Erneut versuchen</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Jetzt aktualisieren</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>自动安装最新版本</source>
        <translation>Updates automatisch installieren</translation>
    </message>
    <message>
        <source>如关闭自动安装，你仍会收到新版本提示，但需手动点击“立即升级”后才可升级</source>
        <translation>Ohne automatische Installation erhalten Sie weiter Hinweise auf neue Versionen und aktualisieren mit „Jetzt aktualisieren“.</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>分析</source>
        <translation>Analyse</translation>
    </message>
    <message>
        <source>与Veloran分享使用数据</source>
        <translation>Nutzungsdaten mit Veloran teilen</translation>
    </message>
    <message>
        <source>隐私政策</source>
        <translation>Datenschutzerklärung</translation>
    </message>
</context>
<context>
    <name>UpgradeWindow</name>
    <message>
        <source>软件升级</source>
        <translation>Software-Update</translation>
    </message>
    <message>
        <source>在升级过程中发生错误，建议您重新启动应用，或从官网下载最新版手动安装。</source>
        <translation>Das Update ist fehlgeschlagen. Starten Sie Veloran Deck neu oder installieren Sie die neueste Version manuell von der offiziellen Website.</translation>
    </message>
    <message>
        <source>前往官网下载</source>
        <translation>Von der Website laden</translation>
    </message>
    <message>
        <source>立即重启</source>
        <translation>Jetzt neu starten</translation>
    </message>
</context>
<context>
    <name>WelcomeLayout</name>
    <message>
        <source>连接你的 Veloran 设备</source>
        <translation>Verbinden Sie Ihr Veloran-Gerät</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Veloran Deck 可将你的兼容设备变身为强大中枢
支持低延迟混音，体验高清音质，享受每一次声音表达</source>
        <translation>Veloran Deck macht Ihr kompatibles Gerät zur leistungsstarken Zentrale.
Mischen mit geringer Latenz, glasklarer Klang und müheloser Ausdruck jeder Stimme.</translation>
    </message>
    <message>
        <source>开启高清音质之旅</source>
        <translation>Los geht&apos;s</translation>
    </message>
    <message>
        <source>升级中</source>
        <translation>Wird aktualisiert</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Update fehlgeschlagen</translation>
    </message>
    <message>
        <source>升级成功</source>
        <translation>Update erfolgreich</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用。
升级期间监听比灯亮属于正常自检，不会修改设置。</source>
        <translation>Trennen Sie das Gerät nicht und schließen Sie die App nicht.
Die Mikro/PC-Mix-Anzeige leuchtet während des Updates zum Selbsttest; Ihre Einstellungen bleiben erhalten.</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用</source>
        <translation>Trennen Sie das Gerät nicht und schließen Sie die App nicht</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Erneut versuchen</translation>
    </message>
</context>
<context>
    <name>eqcurve</name>
    <message>
        <source>原声</source>
        <translation>Natürlich</translation>
    </message>
    <message>
        <source>人声增强</source>
        <translation>Stimme betont</translation>
    </message>
    <message>
        <source>低切75Hz</source>
        <translation>Low-Cut 75 Hz</translation>
    </message>
    <message>
        <source>低切150Hz</source>
        <translation>Low-Cut 150 Hz</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Eigene</translation>
    </message>
    <message>
        <source>平坦</source>
        <translation>Linear</translation>
    </message>
    <message>
        <source>中频增强</source>
        <translation>Mitten betont</translation>
    </message>
    <message>
        <source>低中频增强</source>
        <translation>Tiefmitten betont</translation>
    </message>
</context>
</TS>
