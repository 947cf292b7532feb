<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="zh_CN">
<context>
    <name>AudioController</name>
    <message>
        <source>title</source>
        <translation>Título</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>MIX STREAM</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>MIX MONITOR</translation>
    </message>
</context>
<context>
    <name>AutoGainWindow</name>
    <message>
        <source>自动增益</source>
        <translation>Ganancia automática</translation>
    </message>
    <message>
        <source>设置成功
增益为 %1</source>
        <translation>Listo
Ganancia ajustada a %1.</translation>
    </message>
    <message>
        <source>使用正常的音量讲话
倒计时 </source>
        <translation>Habla a tu volumen normal
Quedan </translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Aceptar</translation>
    </message>
</context>
<context>
    <name>CustomComAppBox</name>
    <message>
        <source>系统浏览器</source>
        <translation>Abrir navegador</translation>
    </message>
</context>
<context>
    <name>CustomerWindow</name>
    <message>
        <source>客服</source>
        <translation>Contactar con soporte</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Contacto</translation>
    </message>
    <message>
        <source>周一到周日：9:00-12:00，13:00-18:00 (GMT+8)</source>
        <translation>Lun–dom: 9:00–12:00, 13:00–18:00 (GMT+8)</translation>
    </message>
    <message>
        <source>电话</source>
        <translation>Teléfono</translation>
    </message>
    <message>
        <source>400-000-0000</source>
        <translation>400-000-0000</translation>
    </message>
    <message>
        <source>企业微信（请扫码添加客服）</source>
        <translation>WeChat empresarial (escanea el código QR para añadir al soporte)</translation>
    </message>
    <message>
        <source>邮箱</source>
        <translation>Correo electrónico</translation>
    </message>
    <message>
        <source>support@example.com</source>
        <translation>support@example.com</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Soporte</translation>
    </message>
    <message>
        <source>Mon to Sun.9:00-12:00,13:00-18:30 (GMT+8)</source>
        <translation>Lun–dom: 9:00–12:00, 13:00–18:30 (GMT+8)</translation>
    </message>
    <message>
        <source>Online Support</source>
        <translation>Soporte en línea</translation>
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
        <translation>Correo electrónico</translation>
    </message>
</context>
<context>
    <name>DeviceSettings</name>
    <message>
        <source>话筒</source>
        <translation>Micrófono</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>General</translation>
    </message>
    <message>
        <source>灯光</source>
        <translation>Iluminación</translation>
    </message>
    <message>
        <source>新版本</source>
        <translation>Nueva versión</translation>
    </message>
</context>
<context>
    <name>EqualizerWindow</name>
    <message>
        <source>均衡器</source>
        <translation>Ecualizador</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Ajusta las distintas frecuencias para que tu voz suene más clara y personal.</translation>
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
        <translation>Atajo</translation>
    </message>
    <message>
        <source>系统截图</source>
        <translation>Captura de pantalla</translation>
    </message>
    <message>
        <source>系统录屏</source>
        <translation>Grabar pantalla</translation>
    </message>
    <message>
        <source>旋钮按键</source>
        <translation>Doble toque en el dial</translation>
    </message>
    <message>
        <source>当Veloran Deck 在后台运行时，双击旋钮可执行自定义功能。</source>
        <translation>Con Veloran Deck en segundo plano, toca dos veces el dial para ejecutar una función personalizada.</translation>
    </message>
    <message>
        <source>请输入URL</source>
        <translation>Introduce la URL</translation>
    </message>
    <message>
        <source>请输入键位</source>
        <translation>Introduce las teclas</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>General</translation>
    </message>
    <message>
        <source>有固件可升级</source>
        <translation>Actualización de firmware disponible</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>está al día</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Actualizar ahora</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Buscar actualizaciones</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Frecuencia de muestreo</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Indicador</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Restablecer de fábrica</translation>
    </message>
</context>
<context>
    <name>LightingEffectPage</name>
    <message>
        <source>颜色</source>
        <translation>Color</translation>
    </message>
</context>
<context>
    <name>LightingSub1</name>
    <message>
        <source>单色</source>
        <translation>Sólido</translation>
    </message>
    <message>
        <source>幻彩</source>
        <translation>Degradado</translation>
    </message>
</context>
<context>
    <name>LightingSub2</name>
    <message>
        <source>单色</source>
        <translation>Sólido</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Bucle</translation>
    </message>
    <message>
        <source>循环顺序</source>
        <translation>Orden del bucle</translation>
    </message>
</context>
<context>
    <name>LightingSub3</name>
    <message>
        <source>方向</source>
        <translation>Dirección</translation>
    </message>
</context>
<context>
    <name>LightingTab</name>
    <message>
        <source>背景</source>
        <translation>Fondo</translation>
    </message>
    <message>
        <source>声卡接电时显示背景灯光</source>
        <translation>La iluminación de fondo se enciende cuando Veloran recibe alimentación.</translation>
    </message>
    <message>
        <source>效果</source>
        <translation>Efectos</translation>
    </message>
    <message>
        <source>静态</source>
        <translation>Fijo</translation>
    </message>
    <message>
        <source>呼吸</source>
        <translation>Pulso</translation>
    </message>
    <message>
        <source>波浪</source>
        <translation>Onda</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Apagado</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>ENTRADAS</translation>
    </message>
    <message>
        <source>话筒输入时，根据音量大小动态显示</source>
        <translation>La iluminación responde al nivel de entrada del micrófono.</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Color</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Dirección</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Indicador</translation>
    </message>
    <message>
        <source>麦克风增益</source>
        <translation>Ganancia del micrófono</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Volumen de salida</translation>
    </message>
    <message>
        <source>麦克风/电脑音量监听比</source>
        <translation>Mezcla mic/PC</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Silenciar</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>Otros</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Brillo</translation>
    </message>
    <message>
        <source>关闭灯光</source>
        <translation>Apagar las luces</translation>
    </message>
    <message>
        <source>关闭显示屏时自动关灯</source>
        <translation>Apagar las luces al apagarse la pantalla</translation>
    </message>
    <message>
        <source>关闭RGB灯</source>
        <translation>Apagar las luces RGB</translation>
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
        <translation>Centro de ayuda</translation>
    </message>
    <message>
        <source>客服</source>
        <translation>Contactar con soporte</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Ajustes</translation>
    </message>
</context>
<context>
    <name>MainSettings</name>
    <message>
        <source>输出</source>
        <translation>SALIDAS</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>ENTRADAS</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>有新版本可升级,是否重启并升级软件?</source>
        <translation>Hay una nueva versión disponible. ¿Reiniciar y actualizar ahora?</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>立即升级</source>
        <translation>Actualizar ahora</translation>
    </message>
</context>
<context>
    <name>MessageDialogMgr</name>
    <message>
        <source>有新版本可升级，是否重启并升级软件？</source>
        <translation>Hay una nueva versión disponible. ¿Reiniciar y actualizar ahora?</translation>
    </message>
    <message>
        <source>Veloran 有新固件可升级，是否升级设备？</source>
        <translation>Hay un nuevo firmware disponible para Veloran. ¿Actualizar el dispositivo?</translation>
    </message>
</context>
<context>
    <name>MicrophoneTab</name>
    <message>
        <source>高</source>
        <translation>Alto</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Medio</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Bajo</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Apagado</translation>
    </message>
    <message>
        <source>XLR输入</source>
        <translation>Entrada XLR</translation>
    </message>
    <message>
        <source>话筒</source>
        <translation>Micrófono</translation>
    </message>
    <message>
        <source>增益</source>
        <translation>Ganancia</translation>
    </message>
    <message>
        <source>提高增益，避免声音过小。
降低增益，避免声音失真。</source>
        <translation>Sube la ganancia si el volumen es bajo.
Bájala para evitar distorsión.</translation>
    </message>
    <message>
        <source>自动增益</source>
        <translation>Ganancia automática</translation>
    </message>
    <message>
        <source>开启后，话筒音量将自动调节至最佳增益。</source>
        <translation>Al activarlo, el micrófono ajusta automáticamente la ganancia óptima.</translation>
    </message>
    <message>
        <source>开始检测</source>
        <translation>Iniciar</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Silenciar</translation>
    </message>
    <message>
        <source>48V幻象电源</source>
        <translation>Alimentación phantom 48V</translation>
    </message>
    <message>
        <source>音频增强</source>
        <translation>Mejoras de audio</translation>
    </message>
    <message>
        <source>原声</source>
        <translation>Acústico</translation>
    </message>
    <message>
        <source>播客</source>
        <translation>Pódcast</translation>
    </message>
    <message>
        <source>游戏</source>
        <translation>Juegos</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Directo</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Personal</translation>
    </message>
    <message>
        <source>AI降噪</source>
        <translation>Reducción de ruido IA</translation>
    </message>
    <message>
        <source>弱降噪可以在消除环境噪音的同时，保持高音质收音效果。强降噪可以更好的消除环境噪音，音质损失较弱降噪略大</source>
        <translation>La reducción suave elimina el ruido ambiente y conserva una captura de alta calidad. La fuerte lo elimina mejor, pero con una pérdida de calidad algo mayor.</translation>
    </message>
    <message>
        <source>弱降噪</source>
        <translation>Suave</translation>
    </message>
    <message>
        <source>强降噪</source>
        <translation>Fuerte</translation>
    </message>
    <message>
        <source>防爆音</source>
        <translation>Control de saturación</translation>
    </message>
    <message>
        <source>用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音</source>
        <translation>Un limitador evita la distorsión por picos de nivel.</translation>
    </message>
    <message>
        <source>压缩器</source>
        <translation>Compresor</translation>
    </message>
    <message>
        <source>压缩器用于控制音频信号的动态范围，开启后，可避免音量过高导致失真或听感刺耳。</source>
        <translation>El compresor reduce el rango dinámico y evita la distorsión de los sonidos fuertes.</translation>
    </message>
    <message>
        <source>均衡器</source>
        <translation>Ecualizador</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Ajusta las distintas frecuencias para que tu voz suene más clara y personal.</translation>
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
        <translation>Mezcla mic / PC</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Volumen de salida</translation>
    </message>
</context>
<context>
    <name>ResetWindow</name>
    <message>
        <source>恢复出厂</source>
        <translation>Restablecer de fábrica</translation>
    </message>
    <message>
        <source>恢复出厂设置后，所有设置将恢复至默认状态，确定要恢复出厂设置吗？</source>
        <translation>El restablecimiento de fábrica borrará toda la configuración. ¿Continuar?</translation>
    </message>
    <message>
        <source>设置中</source>
        <translation>Aplicando</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Completado</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Aceptar</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>设置</source>
        <translation>Ajustes</translation>
    </message>
    <message>
        <source>关于 Veloran Deck</source>
        <translation>Acerca de Veloran Deck</translation>
    </message>
    <message>
        <source>正在检测更新</source>
        <translation>Buscando actualizaciones</translation>
    </message>
    <message>
        <source>新版本下载失败，请检查网络环境或稍后重试</source>
        <translation>No se pudo descargar la actualización. Revisa tu conexión y vuelve a intentarlo.</translation>
    </message>
    <message>
        <source>新版本 %1 下载完成，重新启动以进行升级</source>
        <translation>La versión %1 está lista. Reinicia para completar la actualización.</translation>
    </message>
    <message>
        <source>正在下载新版本 %1</source>
        <translation>Descargando la versión %1…</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>está al día</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Reintentar</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Actualizar ahora</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Buscar actualizaciones</translation>
    </message>
    <message>
        <source>自动安装最新版本</source>
        <translation>Instalar actualizaciones automáticamente</translation>
    </message>
    <message>
        <source>如关闭自动安装，你仍会收到新版本提示，但需手动点击“立即升级”后才可升级</source>
        <translation>Sin instalación automática, recibirás avisos de nuevas versiones y actualizarás con «Actualizar ahora».</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>分析</source>
        <translation>Análisis</translation>
    </message>
    <message>
        <source>与Veloran分享使用数据</source>
        <translation>Compartir datos de uso con Veloran</translation>
    </message>
    <message>
        <source>隐私政策</source>
        <translation>Política de privacidad</translation>
    </message>
</context>
<context>
    <name>UpgradeWindow</name>
    <message>
        <source>软件升级</source>
        <translation>Actualización de software</translation>
    </message>
    <message>
        <source>在升级过程中发生错误，建议您重新启动应用，或从官网下载最新版手动安装。</source>
        <translation>La actualización ha fallado. Reinicia Veloran Deck o instala manualmente la última versión desde el sitio web oficial.</translation>
    </message>
    <message>
        <source>前往官网下载</source>
        <translation>Descargar del sitio oficial</translation>
    </message>
    <message>
        <source>立即重启</source>
        <translation>Reiniciar ahora</translation>
    </message>
</context>
<context>
    <name>WelcomeLayout</name>
    <message>
        <source>连接你的 Veloran 设备</source>
        <translation>Conecta tu dispositivo Veloran</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Conectado</translation>
    </message>
    <message>
        <source>Veloran Deck 可将你的兼容设备变身为强大中枢
支持低延迟混音，体验高清音质，享受每一次声音表达</source>
        <translation>Veloran Deck convierte tu equipo compatible en un potente centro de control.
Mezcla con baja latencia, sonido nítido y libertad para expresar cada voz.</translation>
    </message>
    <message>
        <source>开启高清音质之旅</source>
        <translation>Empezar</translation>
    </message>
    <message>
        <source>升级中</source>
        <translation>Actualizando</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Actualización fallida</translation>
    </message>
    <message>
        <source>升级成功</source>
        <translation>Actualización completada</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用。
升级期间监听比灯亮属于正常自检，不会修改设置。</source>
        <translation>No desconectes el dispositivo ni cierres la aplicación.
El indicador de mezcla mic/PC se enciende durante la actualización como autodiagnóstico; tus ajustes no cambian.</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用</source>
        <translation>No desconectes el dispositivo ni cierres la aplicación</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Reintentar</translation>
    </message>
</context>
<context>
    <name>eqcurve</name>
    <message>
        <source>原声</source>
        <translation>Acústico</translation>
    </message>
    <message>
        <source>人声增强</source>
        <translation>Realce vocal</translation>
    </message>
    <message>
        <source>低切75Hz</source>
        <translation>Corte de graves 75 Hz</translation>
    </message>
    <message>
        <source>低切150Hz</source>
        <translation>Corte de graves 150 Hz</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Personal</translation>
    </message>
    <message>
        <source>平坦</source>
        <translation>Plano</translation>
    </message>
    <message>
        <source>中频增强</source>
        <translation>Realce de medios</translation>
    </message>
    <message>
        <source>低中频增强</source>
        <translation>Realce de medios graves</translation>
    </message>
</context>
</TS>
